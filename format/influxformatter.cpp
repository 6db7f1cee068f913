#include "format/influxformatter.h"

#include "meter/dmmdata.h"

#include <QLocale>
#include <cmath>

InfluxFormatter::InfluxFormatter(const QString &model, const QString &meter)
    : m_model(model)
    , m_meter(meter)
{
}

namespace {

// The protocol has no way to write a line break inside a value; it becomes a space.
QChar withoutLineBreak(QChar c)
{
    return c == '\n' || c == '\r' ? QChar(' ') : c;
}

QString flag(bool on)
{
    return on ? QStringLiteral("true") : QStringLiteral("false");
}

// A tag with an empty value is not allowed, so it is left out.
void appendTag(QString &line, const char *key, const QString &value)
{
    if (!value.isEmpty())
        line += QStringLiteral(",%1=%2").arg(QLatin1String(key), InfluxFormatter::escapeTag(value));
}

} // namespace

QString InfluxFormatter::escapeTag(const QString &text)
{
    QString escaped;
    escaped.reserve(text.size() + 4);
    for (const QChar original : text) {
        const QChar c = withoutLineBreak(original);
        if (c == ',' || c == '=' || c == ' ' || c == '\\')
            escaped += '\\';
        escaped += c;
    }
    return escaped;
}

QString InfluxFormatter::quoteField(const QString &text)
{
    QString quoted = QStringLiteral("\"");
    for (const QChar original : text) {
        const QChar c = withoutLineBreak(original);
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted + '"';
}

QByteArray InfluxFormatter::reading(qint64 number, const DmmData &data) const
{
    Q_UNUSED(number)
    QString line = QStringLiteral("meter");
    appendTag(line, "model", m_model);
    appendTag(line, "meter", m_meter);
    appendTag(line, "function", data.functionName());
    appendTag(line, "unit", data.unitText());
    line += ' ';
    // Infinity and NaN have no form in the protocol; such a reading keeps only its text.
    if (std::isfinite(data.value()))
        line += QStringLiteral("value=%1,")
                    .arg(QString::number(data.value(), 'g', QLocale::FloatingPointShortest));
    line += QStringLiteral("valueText=%1,overload=%2i")
                .arg(quoteField(data.valueText()))
                .arg(data.overload());
    line += QStringLiteral(",hold=%1,relative=%2,manualRange=%3,lowBattery=%4")
                .arg(flag(data.hold()), flag(data.relative()), flag(data.manualRange()),
                     flag(data.lowBattery()));
    line += QStringLiteral(",statusBit3=%1,statusBit0=%2")
                .arg(flag(data.statusBit3()), flag(data.statusBit0()));
    line += QStringLiteral(" %1\n").arg(data.timestamp().toMSecsSinceEpoch() * 1000000);
    return line.toUtf8();
}
