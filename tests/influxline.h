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

// Reads up to an unescaped stop character; a backslash escapes comma, equals, space and itself.
inline QString readEscaped(const QString &line, int &pos, const QString &stops, bool *ok)
{
    QString text;
    while (pos < line.size() && !stops.contains(line.at(pos))) {
        if (line.at(pos) == '\\' && pos + 1 < line.size() &&
            QStringLiteral(", =\\").contains(line.at(pos + 1)))
            ++pos;
        else if (line.at(pos) == '"' || line.at(pos) == '\n' || line.at(pos) == '\\')
            *ok = false;
        text += line.at(pos++);
    }
    return text;
}

// A quoted string field value; only quotes and backslashes are escaped, and no line break is
// allowed.
inline QString readQuoted(const QString &line, int &pos, bool *ok)
{
    QString value;
    for (++pos; pos < line.size() && line.at(pos) != '"'; ++pos) {
        if (line.at(pos) == '\\' && pos + 1 < line.size() &&
            QStringLiteral("\"\\").contains(line.at(pos + 1)))
            ++pos;
        else if (line.at(pos) == '\\' || line.at(pos) == '\n')
            *ok = false;
        value += line.at(pos);
    }
    *ok = *ok && pos < line.size();
    ++pos;
    return value;
}

// A float, an integer with its "i", or a boolean.
inline QString readPlainValue(const QString &line, int &pos, bool *ok)
{
    QString value;
    while (pos < line.size() && line.at(pos) != ',' && line.at(pos) != ' ')
        value += line.at(pos++);
    static const QRegularExpression number(QStringLiteral("^-?[0-9.]+(e[-+]?[0-9]+)?i?$"));
    *ok = *ok && (number.match(value).hasMatch() || value == "true" || value == "false");
    return value;
}

inline bool expectChar(const QString &line, int &pos, QChar c)
{
    return pos < line.size() && line.at(pos++) == c;
}

inline InfluxLine parseInflux(const QString &line)
{
    InfluxLine parsed;
    // One line: a single line feed, at its end.
    bool ok = line.endsWith('\n') && line.count('\n') == 1;
    int pos = 0;
    parsed.measurement = readEscaped(line, pos, QStringLiteral(", "), &ok);
    ok = ok && !parsed.measurement.isEmpty();
    while (ok && pos < line.size() && line.at(pos) == ',') {
        ++pos;
        const QString key = readEscaped(line, pos, QStringLiteral("="), &ok);
        ok = ok && expectChar(line, pos, '=');
        const QString value = readEscaped(line, pos, QStringLiteral(", "), &ok);
        ok = ok && !key.isEmpty() && !value.isEmpty() && !parsed.tags.contains(key);
        parsed.tags.insert(key, value);
    }
    ok = ok && expectChar(line, pos, ' ');
    do {
        const QString key = readEscaped(line, pos, QStringLiteral("= "), &ok);
        ok = ok && !key.isEmpty() && expectChar(line, pos, '=') && pos < line.size();
        if (!ok)
            break;
        const QString value =
            line.at(pos) == '"' ? readQuoted(line, pos, &ok) : readPlainValue(line, pos, &ok);
        ok = ok && !parsed.fields.contains(key);
        parsed.fields.insert(key, value);
    } while (ok && pos < line.size() && line.at(pos++) == ',');
    ok = ok && pos > 0 && line.at(pos - 1) == ' ';
    static const QRegularExpression digits(QStringLiteral("^[0-9]+\n$"));
    ok = ok && digits.match(line.mid(pos)).hasMatch();
    parsed.timestamp = line.mid(pos).trimmed().toLongLong();
    parsed.ok = ok;
    return parsed;
}
