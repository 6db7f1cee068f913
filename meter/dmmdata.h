#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>

class FunctionEntry;

// One decoded reading: what the meter's display showed at one moment.
class DmmData : public QObject
{
    Q_OBJECT
public:
    explicit DmmData(QObject *parent = nullptr);

    QDateTime timestamp() const { return m_timestamp; }
    double value() const { return m_value; }
    QString valueText() const { return m_valueText; }
    int overload() const { return m_overload; }
    QString unitText() const { return m_unitText; }
    QString rangeText() const { return m_rangeText; }
    QString functionName() const { return m_functionName; }
    const FunctionEntry *entry() const { return m_entry; }
    QString maxMinText() const { return m_maxMinText; }
    bool hold() const { return m_hold; }
    bool relative() const { return m_relative; }
    bool statusBit3() const { return m_statusBit3; }
    bool manualRange() const { return m_manualRange; }
    bool lowBattery() const { return m_lowBattery; }
    bool statusBit0() const { return m_statusBit0; }
    QString peakText() const { return m_peakText; }
    QString couplingText() const { return m_couplingText; }

    void setTimestamp(const QDateTime &timestamp) { m_timestamp = timestamp; }
    void setValue(double value) { m_value = value; }
    void setValueText(const QString &text) { m_valueText = text; }
    void setOverload(int overload) { m_overload = overload; }
    void setUnitText(const QString &text) { m_unitText = text; }
    void setRangeText(const QString &text) { m_rangeText = text; }
    void setFunctionName(const QString &name) { m_functionName = name; }
    void setEntry(const FunctionEntry *entry) { m_entry = entry; }
    void setMaxMinText(const QString &text) { m_maxMinText = text; }
    void setHold(bool on) { m_hold = on; }
    void setRelative(bool on) { m_relative = on; }
    void setStatusBit3(bool on) { m_statusBit3 = on; }
    void setManualRange(bool on) { m_manualRange = on; }
    void setLowBattery(bool on) { m_lowBattery = on; }
    void setStatusBit0(bool on) { m_statusBit0 = on; }
    void setPeakText(const QString &text) { m_peakText = text; }
    void setCouplingText(const QString &text) { m_couplingText = text; }

private:
    QDateTime m_timestamp;
    double m_value = 0;
    QString m_valueText;
    int m_overload = 0;
    QString m_unitText;
    QString m_rangeText;
    QString m_functionName;
    const FunctionEntry *m_entry = nullptr;
    QString m_maxMinText;
    bool m_hold = false;
    bool m_relative = false;
    bool m_statusBit3 = false;
    bool m_manualRange = false;
    bool m_lowBattery = false;
    bool m_statusBit0 = false;
    QString m_peakText;
    QString m_couplingText;
};
