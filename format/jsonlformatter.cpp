#include "format/jsonlformatter.h"

#include "meter/dmmdata.h"
#include "meter/functionentry.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

namespace {

QByteArray line(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

} // namespace

JsonlFormatter::JsonlFormatter(const QString &meter, const LimitAlarm &limits)
    : m_meter(meter)
    , m_limits(limits)
{
}

QString JsonlFormatter::isoTimestamp(const QDateTime &time)
{
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

QByteArray JsonlFormatter::reading(qint64 number, const DmmData &data) const
{
    Q_UNUSED(number)
    QJsonObject object{
        {"meter", m_meter},
        {"timestamp", isoTimestamp(data.timestamp())},
        // JSON has no infinity or NaN; such a value is written as null.
        {"value", std::isfinite(data.value()) ? QJsonValue(data.value()) : QJsonValue()},
        {"valueText", data.valueText()},
        {"overload", data.overload()},
        {"unitText", data.unitText()},
        {"rangeText", data.rangeText()},
        {"functionName", data.functionName()},
        {"maxMinText", data.maxMinText()},
        {"hold", data.hold()},
        {"relative", data.relative()},
        {"statusBit3", data.statusBit3()},
        {"manualRange", data.manualRange()},
        {"lowBattery", data.lowBattery()},
        {"statusBit0", data.statusBit0()},
        {"peakText", data.peakText()},
        {"couplingText", data.couplingText()},
    };
    if (const FunctionEntry *entry = data.entry()) {
        object.insert("functionCode", entry->functionCode());
        object.insert("rangeCode", entry->rangeCode());
    }
    const LimitAlarm::Side side = m_limits.check(data.value(), data.overload());
    if (side != LimitAlarm::Side::Inside)
        object.insert("alarm", LimitAlarm::name(side));
    return line(object);
}

QByteArray JsonlFormatter::event(const QString &name, const QDateTime &time,
                                 const QString &reason) const
{
    QJsonObject object{{"event", name}, {"meter", m_meter}, {"timestamp", isoTimestamp(time)}};
    if (!reason.isEmpty())
        object.insert("reason", reason);
    return line(object);
}
