#pragma once

#include "record/readingstore.h"
#include "record/timestampformatter.h"

#include <QByteArray>

class QTextCodec;

// Writes readings as the record table's CSV lines (number, time, function, range, value, unit)
// in the local 8-bit encoding: the bytes appendCsvRow() and encodeCsv() give for a DataModel over
// the same store, at a fraction of their cost. The texts a run of readings shares are encoded once
// for the run, and where the encoding keeps ASCII as it is, numbers, times and plain value texts
// go in byte by byte.
class RecordCsvEncoder
{
public:
    explicit RecordCsvEncoder(const ReadingStore &readings);

    void appendRow(QByteArray &out, int row);

private:
    // The text as one field, quoted when it must be, encoded.
    QByteArray field(const QString &text) const;
    void appendValueText(QByteArray &out, int row);
    // The row through the codec, for an encoding that writes ASCII otherwise.
    void appendEncodedRow(QByteArray &out, int row);

    const ReadingStore &m_readings;
    TimestampFormatter m_times;
    const QTextCodec *m_codec;
    bool m_keepsAscii;
    // The pieces of the last row and their fields: ",function,range," and ",unit\n".
    const ReadingStore::Pieces *m_pieces = nullptr;
    QByteArray m_middle;
    QByteArray m_end;
};
