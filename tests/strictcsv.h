#pragma once

// A CSV reader that accepts only what the program's CSV writer may produce, for the tests of the
// export, the journal and the command line.

#include <QList>
#include <QString>
#include <QStringList>

// Reads CSV strictly: records end with a line feed; a field is either free of quotes, commas and
// line breaks, or enclosed in quotes with each inner quote doubled. False on anything else.
inline bool readCsvStrictly(const QString &text, QList<QStringList> &records)
{
    records.clear();
    QStringList record;
    const QChar quote = QLatin1Char('"');
    int i = 0;
    const int n = text.size();
    while (i < n) {
        QString field;
        if (text.at(i) == quote) {
            for (++i;; ++i) {
                if (i >= n)
                    return false;
                if (text.at(i) == quote) {
                    if (i + 1 < n && text.at(i + 1) == quote) {
                        field += quote;
                        ++i;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += text.at(i);
            }
        } else {
            for (; i < n && text.at(i) != QLatin1Char(',') && text.at(i) != QLatin1Char('\n');
                 ++i) {
                if (text.at(i) == quote || text.at(i) == QLatin1Char('\r'))
                    return false;
                field += text.at(i);
            }
        }
        record.append(field);
        if (i >= n)
            return false;
        if (text.at(i) == QLatin1Char('\n')) {
            records.append(record);
            record.clear();
        } else if (text.at(i) != QLatin1Char(',')) {
            return false;
        }
        ++i;
    }
    return record.isEmpty();
}
