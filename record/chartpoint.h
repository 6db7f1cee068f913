#pragma once

#include <QDateTime>
#include <QString>
#include <QVariant>

// One plotted sample: when it was read, its value, the meter's text for it and the hover label.
class ChartPoint
{
public:
    // Time format of the hover label's leading time stamp.
    static const QString labelTimeFormat;

    ChartPoint() = default;
    ChartPoint(const QDateTime &time, double value, const QString &valueText,
               const QVariant &label);

    // The hover label the recording step gives a reading: "time: function valueunit".
    static QString makeLabel(const QDateTime &time, const QString &functionName,
                             const QString &valueText, const QString &unitText);

    QDateTime time() const { return m_time; }
    double value() const { return m_value; }
    QString valueText() const { return m_valueText; }
    QVariant label() const { return m_label; }

private:
    QDateTime m_time;
    double m_value = 0;
    QString m_valueText;
    QVariant m_label;
};
