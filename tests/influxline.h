#pragma once

// A strict reader of InfluxDB line protocol, for the tests of the command line's influx output.

#include <QMap>
#include <QRegularExpression>
#include <QString>

// One line of InfluxDB line protocol, read strictly: a violation of the escaping rules fails.
struct InfluxLine
{
    QString measurement;
    QMap<QString, QString> tags;
    QMap<QString, QString> fields; // string fields without their quotes, unescaped
    qint64 timestamp = 0;
    bool ok = false;
};

// Names and tag values escape comma, equals, space and backslash; string fields only quote and
// backslash, and no line break is allowed anywhere but at the end.
inline InfluxLine parseInflux(const QString &line)
{
    const QString name = R"((?:[^,= \\"\n]|\\[,= \\])+)";
    const QString value = R"("(?:[^"\\\n]|\\["\\])*"|-?[0-9.]+(?:e[-+]?[0-9]+)?i?|true|false)";
    const QString field = name + '=' + QStringLiteral("(?:%1)").arg(value);
    const QRegularExpression whole(
        QStringLiteral("^(%1)((?:,%1=%1)*) (%2(?:,%2)*) ([0-9]+)\n$").arg(name, field));
    const QRegularExpression pair(QStringLiteral("(%1)=(%1|%2)").arg(name, value));
    const auto unescape = [](QString text) {
        if (text.startsWith('"'))
            text = text.mid(1, text.size() - 2);
        return text.replace(QRegularExpression(R"(\\(.))"), QStringLiteral("\\1"));
    };
    InfluxLine parsed;
    const QRegularExpressionMatch match = whole.match(line);
    parsed.ok = match.hasMatch();
    parsed.measurement = unescape(match.captured(1));
    parsed.timestamp = match.captured(4).toLongLong();
    for (int part : {2, 3}) {
        QMap<QString, QString> &map = part == 2 ? parsed.tags : parsed.fields;
        for (auto it = pair.globalMatch(match.captured(part)); it.hasNext();) {
            const QRegularExpressionMatch found = it.next();
            parsed.ok = parsed.ok && !map.contains(unescape(found.captured(1)));
            map.insert(unescape(found.captured(1)), unescape(found.captured(2)));
        }
    }
    return parsed;
}
