#include "record/chartpoint.h"

#include "record/timestampformatter.h"

ChartPoint::ChartPoint(const QDateTime &time, double value, const QString &valueText,
                       const QVariant &label)
    : m_time(time)
    , m_value(value)
    , m_valueText(valueText)
    , m_label(label)
{
}

QString ChartPoint::makeLabel(const QDateTime &time, const QString &functionName,
                              const QString &valueText, const QString &unitText)
{
    return time.toString(kTimestampLayout) + QStringLiteral(": ") + functionName +
           QLatin1Char(' ') + valueText + unitText;
}
