#pragma once

// A CSV reader that accepts only what the program's CSV writer may produce, for the tests of the
// export, the journal and the command line.

#include <QRegularExpression>

#include <utility>

// Reads CSV strictly: records end with a line feed; a field is either free of quotes, commas and
// line breaks, or enclosed in quotes with each inner quote doubled. False on anything else.
inline bool readCsvStrictly(const QString &text, QList<QStringList> &records)
{
    static const QRegularExpression field(
        QStringLiteral("(?:\"((?:[^\"]|\"\")*)\"|([^\",\\r\\n]*))([,\\n])"));
    records.clear();
    QStringList record;
    for (int at = 0; at < text.size();) {
        const QRegularExpressionMatch match = field.match(text, at, QRegularExpression::NormalMatch,
                                                          QRegularExpression::AnchoredMatchOption);
        if (!match.hasMatch())
            return false;
        const bool quoted = match.capturedStart(1) >= 0;
        record.append(quoted ? match.captured(1).replace(QLatin1String("\"\""), QLatin1String("\""))
                             : match.captured(2));
        if (match.captured(3) == QLatin1String("\n"))
            records.append(std::exchange(record, {}));
        at = match.capturedEnd();
    }
    return record.isEmpty();
}
