#pragma once

#include "record/readingsummary.h"

#include <QDateTime>
#include <QString>
#include <QVariant>

// One plotted sample: when it was read, its value, the meter's text for it and the hover label.
class ChartPoint
{
public:
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

    // What the statistics and the alarm marks need besides the value: whether the meter showed
    // an overload, whether the reading was outside the limits, and the display's step
    // (ReadingSummary::kNoResolution when not known).
    bool isOverload() const { return m_overload; }
    bool isAlarm() const { return m_alarm; }
    int resolution() const { return m_resolution; }
    void setOverload(bool overload) { m_overload = overload; }
    void setAlarm(bool alarm) { m_alarm = alarm; }
    void setResolution(int resolution) { m_resolution = resolution; }

private:
    QDateTime m_time;
    double m_value = 0;
    QString m_valueText;
    QVariant m_label;
    bool m_overload = false;
    bool m_alarm = false;
    int m_resolution = ReadingSummary::kNoResolution;
};
