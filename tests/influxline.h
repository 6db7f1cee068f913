#pragma once

// A strict reader of InfluxDB line protocol, for the tests of the command line's influx output.

#include <QMap>
#include <QRegularExpression>

// One line of InfluxDB line protocol, read strictly: a violation of the escaping rules fails.
struct InfluxLine
{
    QMap<QString, QString> tags, fields; // string fields without their quotes, unescaped
    qint64 timestamp = 0;
    bool ok = false;
};

// Names and tag values escape comma, equals, space and backslash; string fields only quote and
// backslash, and no line break is allowed anywhere but at the end.
inline InfluxLine parseInflux(const QString &line)
{
    const QString name = R"((?:[^,= \\"\n]|\\[,= \\])+)";
    const QString value = R"("(?:[^"\\\n]|\\["\\])*"|-?[0-9.]+(?:e[-+]?[0-9]+)?i?|true|false)";
    const QRegularExpression whole(QStringLiteral("^(%1)((?:,%1=%1)*) (%1=(?:%2)(?:,%1=(?:%2))*) "
                                                  "([0-9]+)\n$")
                                       .arg(name, value));
    const QRegularExpression pair(QStringLiteral("(%1)=(%1|%2)").arg(name, value));
    const auto unescape = [](QString text) {
        return (text.startsWith('"') ? text.mid(1, text.size() - 2) : text)
            .replace(QRegularExpression(R"(\\(.))"), QStringLiteral("\\1"));
    };
    const QRegularExpressionMatch match = whole.match(line);
    InfluxLine parsed{{}, {}, match.captured(4).toLongLong(), match.hasMatch()};
    for (int part : {2, 3}) {
        QMap<QString, QString> &map = part == 2 ? parsed.tags : parsed.fields;
        for (auto it = pair.globalMatch(match.captured(part)); it.hasNext();) {
            const QRegularExpressionMatch found = it.next();
            const QString key = unescape(found.captured(1));
            parsed.ok = parsed.ok && !map.contains(key);
            map.insert(key, unescape(found.captured(2)));
        }
    }
    return parsed;
}
