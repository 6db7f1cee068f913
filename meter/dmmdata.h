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
    // Everything a reading holds, as one value: whoever copies a reading copies all of it, so a
    // field added here can never go missing in a copy.
    struct Fields
    {
        QDateTime timestamp;
        double value = 0;
        QString valueText;
        int overload = 0;
        QString unitText;
        QString rangeText;
        QString functionName;
        const FunctionEntry *entry = nullptr;
        QString maxMinText;
        bool hold = false;
        bool relative = false;
        bool statusBit3 = false;
        bool manualRange = false;
        bool lowBattery = false;
        bool statusBit0 = false;
        QString peakText;
        QString couplingText;
    };

    explicit DmmData(QObject *parent = nullptr);

    // Makes this reading a copy of other, field for field.
    void copyFrom(const DmmData &other) { m = other.m; }
    const Fields &fields() const { return m; }

    QDateTime timestamp() const { return m.timestamp; }
    double value() const { return m.value; }
    QString valueText() const { return m.valueText; }
    int overload() const { return m.overload; }
    QString unitText() const { return m.unitText; }
    QString rangeText() const { return m.rangeText; }
    QString functionName() const { return m.functionName; }
    const FunctionEntry *entry() const { return m.entry; }
    QString maxMinText() const { return m.maxMinText; }
    bool hold() const { return m.hold; }
    bool relative() const { return m.relative; }
    bool statusBit3() const { return m.statusBit3; }
    bool manualRange() const { return m.manualRange; }
    bool lowBattery() const { return m.lowBattery; }
    bool statusBit0() const { return m.statusBit0; }
    QString peakText() const { return m.peakText; }
    QString couplingText() const { return m.couplingText; }

    void setTimestamp(const QDateTime &timestamp) { m.timestamp = timestamp; }
    void setValue(double value) { m.value = value; }
    void setValueText(const QString &text) { m.valueText = text; }
    void setOverload(int overload) { m.overload = overload; }
    void setUnitText(const QString &text) { m.unitText = text; }
    void setRangeText(const QString &text) { m.rangeText = text; }
    void setFunctionName(const QString &name) { m.functionName = name; }
    void setEntry(const FunctionEntry *entry) { m.entry = entry; }
    void setMaxMinText(const QString &text) { m.maxMinText = text; }
    void setHold(bool on) { m.hold = on; }
    void setRelative(bool on) { m.relative = on; }
    void setStatusBit3(bool on) { m.statusBit3 = on; }
    void setManualRange(bool on) { m.manualRange = on; }
    void setLowBattery(bool on) { m.lowBattery = on; }
    void setStatusBit0(bool on) { m.statusBit0 = on; }
    void setPeakText(const QString &text) { m.peakText = text; }
    void setCouplingText(const QString &text) { m.couplingText = text; }

private:
    Fields m;
};
