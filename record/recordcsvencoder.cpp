#include "record/recordcsvencoder.h"

#include "record/csvformat.h"

#include <QTextCodec>

namespace {

// Printable ASCII, which an encoding that keeps ASCII writes as the same bytes.
QString printableAscii()
{
    QString text;
    for (char c = ' '; c <= '~'; ++c)
        text += QLatin1Char(c);
    return text;
}

bool isPlainAscii(QLatin1String text)
{
    for (const char c : text) {
        if (uchar(c) >= 0x80 || c == ',' || c == '"' || c == '\r' || c == '\n')
            return false;
    }
    return true;
}

void appendNumber(QByteArray &out, int number)
{
    char digits[12];
    int at = sizeof digits;
    do {
        digits[--at] = char('0' + number % 10);
        number /= 10;
    } while (number > 0);
    out.append(digits + at, int(sizeof digits) - at);
}

} // namespace

RecordCsvEncoder::RecordCsvEncoder(const ReadingStore &readings)
    : m_readings(readings)
    , m_codec(QTextCodec::codecForLocale())
    , m_keepsAscii(m_codec->fromUnicode(printableAscii()) == printableAscii().toLatin1())
{
}

QByteArray RecordCsvEncoder::field(const QString &text) const
{
    QString line;
    appendCsvLine(line, {text});
    line.chop(1); // the line feed
    return m_codec->fromUnicode(line);
}

void RecordCsvEncoder::appendRow(QByteArray &out, int row)
{
    if (!m_keepsAscii) {
        appendEncodedRow(out, row);
        return;
    }
    const ReadingStore::Pieces &pieces = m_readings.pieces(row);
    // A recording nearly always repeats the pieces of the row before.
    if (&pieces != m_pieces) {
        m_pieces = &pieces;
        m_middle = ',' + field(pieces.functionName) + ',' + field(pieces.rangeText) + ',';
        m_end = ',' + field(pieces.unitText) + '\n';
    }
    appendNumber(out, row + 1);
    out += ',';
    const qint64 msecs = m_readings.msecs(row);
    if (msecs != ReadingStore::kNoTime)
        m_times.appendTo(out, msecs);
    out += m_middle;
    appendValueText(out, row);
    out += m_end;
}

void RecordCsvEncoder::appendEncodedRow(QByteArray &out, int row)
{
    const ReadingStore::Pieces &pieces = m_readings.pieces(row);
    const qint64 msecs = m_readings.msecs(row);
    out += m_codec->fromUnicode(csvLine(
        {QString::number(row + 1), msecs == ReadingStore::kNoTime ? QString() : m_times.text(msecs),
         pieces.functionName, pieces.rangeText, m_readings.valueText(row), pieces.unitText}));
}

void RecordCsvEncoder::appendValueText(QByteArray &out, int row)
{
    const QLatin1String packed = m_readings.packedValueText(row);
    if (packed.data() && m_keepsAscii && isPlainAscii(packed))
        out.append(packed.data(), packed.size());
    else
        out += field(m_readings.valueText(row));
}
