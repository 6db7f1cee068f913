#include "record/recordingreader.h"

#include "meter/dmmdata.h"
#include "meter/mydmm.h"
#include "record/datamodel.h"
#include "record/readingstore.h"
#include "record/readingsummary.h"
#include "record/recordingadmission.h"

#include <QDateTime>
#include <QFile>
#include <QHash>
#include <QTextCodec>
#include <QVarLengthArray>

#include <optional>

namespace {

constexpr QChar kQuote = QLatin1Char('"');
constexpr QChar kComma = QLatin1Char(',');
constexpr QChar kLineFeed = QLatin1Char('\n');
constexpr QChar kReturn = QLatin1Char('\r');
// No line the program writes comes near this; a longer one is not a recording, and refusing it
// keeps a file without line ends from being gathered whole in memory.
constexpr int kMaxRecordChars = 64 * 1024;
// The meter's display has seven characters; its texts are recorded as they came.
constexpr int kDisplayChars = 7;

// What a function, range and unit text of a line mean in the function tables.
struct Match
{
    const FunctionEntry *entry = nullptr;
    // The function, range and unit texts, kept together as every reading of the match shares
    // them.
    ReadingStore::Pieces pieces;
    QString couplingText;
    QString functionKey;
};

int digitsAt(const QStringRef &text, int at, int count)
{
    int number = 0;
    for (int i = at; i < at + count; ++i) {
        const ushort c = text.at(i).unicode();
        if (c < '0' || c > '9')
            return -1;
        number = number * 10 + (c - '0');
    }
    return number;
}

// Whether the meter's display can show the text (at most kDisplayChars characters, copied into
// display as Latin-1): a number (a sign, digits, one decimal point), an overload (O and L with a
// sign and a point), dashes or nothing lit, which read as 0; blanks pad any of these. The meter
// sends nothing else, so any other text is a garbled file, not a reading.
bool isDisplayText(const QStringRef &text, char *display)
{
    if (text.isEmpty())
        return false;
    char shown[kDisplayChars]; // the characters that are lit
    int lit = 0;
    int dashes = 0;
    for (int i = 0; i < text.size(); ++i) {
        const char c = text.at(i).toLatin1(); // 0 for a character outside Latin-1
        display[i] = c;
        if (c != ' ')
            shown[lit++] = c;
        dashes += c == '-' ? 1 : 0;
    }
    if (dashes == lit)
        return true;
    const int body = shown[0] == '-' || shown[0] == '+' ? 1 : 0;
    bool point = false, digit = false, o = false, l = false;
    for (int i = body; i < lit; ++i) {
        const char c = shown[i];
        if (c == '.' && !point)
            point = true;
        else if (c >= '0' && c <= '9')
            digit = true;
        else if (c == 'O')
            o = true;
        else if (c == 'L')
            l = true;
        else
            return false;
    }
    return digit ? !(o || l) : o && l;
}

} // namespace

// Cuts the text into records and fields, keeps the line count, and turns each line after the
// header into a reading in the stores.
class RecordingReader::Parser
{
public:
    Parser(RecordingReader &reader, const Stores &stores)
        : m_reader(reader)
        , m_stores(stores)
    {
    }

    // Takes every complete record from the front of text and removes it; at the end of the
    // file whatever remains is an incomplete line. False once the file is refused.
    bool feed(QString &text, bool atEnd);
    Result &result() { return m_result; }
    bool sawHeader() const { return m_sawHeader; }
    int line() const { return m_line; }

private:
    enum class Cut
    {
        Record,
        NeedMore,
        Malformed
    };

    Cut cutPlain(const QString &text, int from, int end);
    Cut cutQuoted(const QString &text, int from, int window, int *end, int *lineFeeds);
    bool takeRecord();
    bool takeHeader();
    bool takeReading();
    bool readTime(const QStringRef &text, qint64 *msecs);
    qint64 localInstant(const QDate &date, const QTime &time);
    const Match *match(const QStringRef &function, const QStringRef &range, const QStringRef &unit);
    const Match *lookUp(const QString &function, const QString &range, const QString &unit);
    bool refuse(const QString &reason)
    {
        m_result.outcome = Outcome::Refused;
        m_result.line = m_line;
        m_result.reason = reason;
        return false;
    }

    RecordingReader &m_reader;
    const Stores m_stores;
    Result m_result;
    int m_line = 1; // of the record being taken
    bool m_sawHeader = false;
    QVarLengthArray<QStringRef, 8> m_fields;
    QStringList m_unquoted; // the texts of quoted fields, which m_fields point into
    const Match *m_match = nullptr;
    QHash<QString, Match> m_matches;
    QString m_minuteKey;
    qint64 m_minuteMSecs = 0;
    // The local day of the last minute worked out, and its midnight if it has no clock change.
    QDate m_day;
    std::optional<qint64> m_dayBegin;
    DmmData m_reading;
};

bool RecordingReader::Parser::feed(QString &text, bool atEnd)
{
    int from = 0;
    while (from < text.size()) {
        // A record is judged by its first kMaxRecordChars + 1 characters at most, so that the
        // verdict is the same however the file arrives in chunks.
        const int window = qMin(text.size(), from + kMaxRecordChars + 1);
        int lineEnd = text.indexOf(kLineFeed, from);
        if (lineEnd >= window)
            lineEnd = -1;
        const int scanEnd = lineEnd < 0 ? window : lineEnd;
        int end = lineEnd;
        int lineFeeds = 1;
        Cut cut = QStringRef(&text, from, scanEnd - from).contains(kQuote)
                      ? cutQuoted(text, from, window, &end, &lineFeeds)
                      : (lineEnd < 0 ? Cut::NeedMore : cutPlain(text, from, lineEnd));
        if (cut == Cut::Malformed)
            return refuse(RecordingReader::tr("a double quote is out of place"));
        if (cut == Cut::NeedMore) {
            if (window - from > kMaxRecordChars)
                return refuse(RecordingReader::tr("the line is too long for a recording"));
            break;
        }
        if (!takeRecord())
            return false;
        m_line += lineFeeds;
        from = end + 1;
    }
    text.remove(0, from);
    if (atEnd && !text.isEmpty()) {
        if (!m_sawHeader)
            return refuse(RecordingReader::tr("the header line is incomplete"));
        m_result.skippedLine = m_line;
        text.clear();
    }
    return true;
}

RecordingReader::Parser::Cut RecordingReader::Parser::cutPlain(const QString &text, int from,
                                                               int end)
{
    m_fields.clear();
    if (end > from && text.at(end - 1) == kReturn)
        --end;
    int start = from;
    for (int comma = text.indexOf(kComma, start); comma >= 0 && comma < end;
         comma = text.indexOf(kComma, start)) {
        m_fields.append(QStringRef(&text, start, comma - start));
        start = comma + 1;
    }
    m_fields.append(QStringRef(&text, start, end - start));
    return Cut::Record;
}

// A record with quotes, which may hold line ends inside them: read character by character.
RecordingReader::Parser::Cut RecordingReader::Parser::cutQuoted(const QString &text, int from,
                                                                int window, int *end,
                                                                int *lineFeeds)
{
    m_fields.clear();
    m_unquoted.clear();
    QString field;
    bool quoted = false;    // inside quotes
    bool wasQuoted = false; // the field began with a quote
    *lineFeeds = 0;
    const auto closeField = [&] {
        m_unquoted.append(field);
        field.clear();
        wasQuoted = false;
    };
    for (int i = from; i < window; ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == kQuote) {
                if (i + 1 < window && text.at(i + 1) == kQuote) {
                    field += kQuote;
                    ++i;
                } else if (i + 1 == window) {
                    return Cut::NeedMore; // the next chunk tells a doubled quote from an end
                } else {
                    quoted = false;
                }
                continue;
            }
            *lineFeeds += c == kLineFeed ? 1 : 0;
            field += c;
            continue;
        }
        if (c == kComma) {
            closeField();
        } else if (c == kLineFeed) {
            if (!wasQuoted && field.endsWith(kReturn))
                field.chop(1);
            closeField();
            ++*lineFeeds;
            *end = i;
            for (const QString &unquoted : qAsConst(m_unquoted))
                m_fields.append(QStringRef(&unquoted));
            return Cut::Record;
        } else if (c == kQuote) {
            if (!field.isEmpty() || wasQuoted)
                return Cut::Malformed;
            quoted = wasQuoted = true;
        } else if (!wasQuoted) {
            field += c;
        } else if (c != kReturn) {
            return Cut::Malformed; // text after a closing quote
        } else if (i + 1 == window) {
            return Cut::NeedMore;
        } else if (text.at(i + 1) != kLineFeed) {
            return Cut::Malformed;
        }
    }
    return Cut::NeedMore;
}

bool RecordingReader::Parser::takeRecord()
{
    if (!m_sawHeader)
        return takeHeader();
    if (m_fields.size() != m_reader.m_headers.first().size())
        return refuse(RecordingReader::tr("the line has %1 fields where a recording has %2")
                          .arg(m_fields.size())
                          .arg(m_reader.m_headers.first().size()));
    return takeReading();
}

bool RecordingReader::Parser::takeHeader()
{
    m_sawHeader = true;
    if (m_fields.size() == 1 && m_fields.first().isEmpty())
        return refuse(RecordingReader::tr("the file is empty"));
    for (const QStringList &header : qAsConst(m_reader.m_headers)) {
        if (header.size() != m_fields.size())
            continue;
        bool same = true;
        for (int i = 0; same && i < header.size(); ++i)
            same = m_fields.at(i) == header.at(i);
        if (same)
            return true;
    }
    return refuse(RecordingReader::tr("the header is not that of a recording (%1)")
                      .arg(m_reader.m_headers.first().join(kComma)));
}

bool RecordingReader::Parser::takeReading()
{
    qint64 msecs = DataModel::kNoTime;
    const QStringRef time = m_fields.at(DataModel::TimeColumn);
    if (!time.isEmpty() && !readTime(time, &msecs))
        return refuse(RecordingReader::tr("\"%1\" is not a date and time").arg(time.toString()));
    const Match *found =
        match(m_fields.at(DataModel::FunctionColumn), m_fields.at(DataModel::RangeColumn),
              m_fields.at(DataModel::UnitColumn));
    if (!found)
        return refuse(RecordingReader::tr(
                          "the meter has no function \"%1\" with range \"%2\" and unit \"%3\"")
                          .arg(m_fields.at(DataModel::FunctionColumn).toString(),
                               m_fields.at(DataModel::RangeColumn).toString(),
                               m_fields.at(DataModel::UnitColumn).toString()));
    if (m_reader.m_entry == nullptr) {
        m_reader.m_entry = found->entry;
        m_reader.m_functionKey = found->functionKey;
    } else if (found->functionKey != m_reader.m_functionKey) {
        return refuse(RecordingReader::tr(
                          "the function changes from %1 to %2; a recording holds one function")
                          .arg(m_reader.m_functionKey, found->functionKey));
    }

    const QStringRef valueRef = m_fields.at(DataModel::ValueColumn);
    const QString valueText = valueRef.toString();
    if (valueText.size() > kDisplayChars)
        return refuse(RecordingReader::tr(
                          "the value \"%1\" is longer than the meter's display of %2 characters")
                          .arg(valueText)
                          .arg(kDisplayChars));
    char display[kDisplayChars];
    if (!isDisplayText(valueRef, display))
        return refuse(
            RecordingReader::tr("\"%1\" is not a value the meter can show").arg(valueText));
    int overload = 0;
    const double value =
        MyDmm::displayValue(*found->entry, QLatin1String(display, valueText.size()), &overload);

    if (m_match != found) {
        m_match = found;
        m_reading.setEntry(found->entry);
        m_reading.setFunctionName(found->pieces.functionName);
        m_reading.setRangeText(found->pieces.rangeText);
        m_reading.setUnitText(found->pieces.unitText);
        m_reading.setCouplingText(found->couplingText);
    }
    m_reading.setValueText(valueText);
    m_reading.setValue(value);
    m_reading.setOverload(overload);
    const int resolution = readingResolution(m_reading);
    m_stores.table->appendReading(msecs, value, valueText, found->pieces, overload, resolution);

    // A one-display recording's chart draws the table's readings; the two charts of AC+DC
    // keep their halves of them.
    if (RecordingAdmission::isDualDisplay(m_reading)) {
        ReadingStore *chart = RecordingAdmission::belongsOnSecondChart(m_reading)
                                  ? m_stores.secondChart
                                  : m_stores.chart;
        chart->append(msecs, value, valueText, found->pieces, overload, resolution);
    }
    ++m_result.rows;
    return true;
}

// "yyyy-MM-dd hh:mm:ss" in local time. Readings come in time order, so the instant of the
// minute is worked out once per minute and the seconds are added to it.
bool RecordingReader::Parser::readTime(const QStringRef &text, qint64 *msecs)
{
    static const QString kShape = QStringLiteral("0000-00-00 00:00:00");
    if (text.size() != kShape.size())
        return false;
    for (int i = 0; i < kShape.size(); ++i) {
        const bool digit = text.at(i) >= QLatin1Char('0') && text.at(i) <= QLatin1Char('9');
        if (kShape.at(i) == QLatin1Char('0') ? !digit : text.at(i) != kShape.at(i))
            return false;
    }
    const int seconds = digitsAt(text, 17, 2);
    if (seconds < 0 || seconds > 59)
        return false;
    const QStringRef minute = text.left(16);
    if (m_minuteKey.isNull() || minute != m_minuteKey) {
        const QDate date(digitsAt(text, 0, 4), digitsAt(text, 5, 2), digitsAt(text, 8, 2));
        const QTime time(digitsAt(text, 11, 2), digitsAt(text, 14, 2));
        if (!date.isValid() || !time.isValid())
            return false;
        m_minuteKey = minute.toString();
        m_minuteMSecs = localInstant(date, time);
    }
    *msecs = m_minuteMSecs + seconds * 1000;
    return true;
}

// A local day without a clock change is 24 hours long from its midnight, and its times follow
// from that midnight; a day with a change takes the full conversion for each minute.
qint64 RecordingReader::Parser::localInstant(const QDate &date, const QTime &time)
{
    constexpr qint64 kMsecsPerDay = 24 * 3600 * 1000;
    if (date != m_day) {
        m_day = date;
        const qint64 begin = QDateTime(date, QTime(0, 0)).toMSecsSinceEpoch();
        const qint64 end = QDateTime(date.addDays(1), QTime(0, 0)).toMSecsSinceEpoch();
        m_dayBegin = end - begin == kMsecsPerDay ? std::optional<qint64>(begin) : std::nullopt;
    }
    return m_dayBegin ? *m_dayBegin + time.msecsSinceStartOfDay()
                      : QDateTime(date, time, Qt::LocalTime).toMSecsSinceEpoch();
}

const Match *RecordingReader::Parser::match(const QStringRef &function, const QStringRef &range,
                                            const QStringRef &unit)
{
    // A recording repeats the same three texts on nearly every line.
    if (m_match && function == m_match->pieces.functionName && range == m_match->pieces.rangeText &&
        unit == m_match->pieces.unitText)
        return m_match;
    return lookUp(function.toString(), range.toString(), unit.toString());
}

const Match *RecordingReader::Parser::lookUp(const QString &function, const QString &range,
                                             const QString &unit)
{
    const QString key = function + kLineFeed + range + kLineFeed + unit;
    const auto known = m_matches.constFind(key);
    if (known != m_matches.constEnd())
        return &known.value();
    for (const FunctionTable *table : qAsConst(m_reader.m_tables)) {
        for (const FunctionEntry *entry : *table) {
            if (entry->prefix() + entry->unit() != unit || MyDmm::rangeText(*entry) != range)
                continue;
            Match found;
            found.entry = entry;
            found.pieces = {function, range, unit};
            found.functionKey = function;
            if (entry->functionCode() == functions::kAcPlusDc) {
                for (const char *coupling : {functions::kAcCoupling, functions::kDcCoupling}) {
                    if (function == MyDmm::dualFunctionName(*entry, QLatin1String(coupling)))
                        found.couplingText = QLatin1String(coupling);
                }
                if (found.couplingText.isEmpty())
                    continue;
                found.functionKey = entry->name();
            } else if (entry->name() != function) {
                continue;
            }
            return &m_matches.insert(key, found).value();
        }
    }
    return nullptr;
}

RecordingReader::RecordingReader(const QList<const FunctionTable *> &tables,
                                 const QList<QStringList> &headers)
    : m_tables(tables)
    , m_headers(headers)
{
}

void RecordingReader::setProgress(std::function<void(qint64, qint64)> progress)
{
    m_progress = std::move(progress);
}

RecordingReader::Result RecordingReader::read(const QString &fileName, const Stores &stores)
{
    QFile file(fileName);
    // Unbuffered: the chunks are large, and a file that shrinks meanwhile is seen at once.
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        Result result;
        result.reason = file.errorString();
        return result;
    }
    return read(file, file.size(), stores);
}

RecordingReader::Result RecordingReader::read(QIODevice &device, qint64 size, const Stores &stores)
{
    m_cancelled = false;
    m_entry = nullptr;
    m_functionKey.clear();
    Parser parser(*this, stores);
    const QTextCodec *codec = QTextCodec::codecForLocale();
    QByteArray chunk(m_chunkSize, Qt::Uninitialized);
    QByteArray raw; // bytes after the last line end, decoded once their line is whole
    QString text;
    qint64 done = 0;
    for (;;) {
        if (m_cancelled) {
            parser.result().outcome = Outcome::Cancelled;
            return parser.result();
        }
        const qint64 got = device.read(chunk.data(), chunk.size());
        if (got < 0) {
            parser.result() = {Outcome::Refused, parser.line(), device.errorString()};
            return parser.result();
        }
        if (got == 0)
            break;
        done += got;
        // A line feed is never part of a longer character in the local 8-bit encodings, so
        // whole lines decode the same however the file was cut into chunks. A line too long to
        // be a recording's is decoded all the same, for the parser to refuse.
        raw.append(chunk.constData(), int(got));
        const int cut =
            raw.size() > 4 * (kMaxRecordChars + 1) ? raw.size() : raw.lastIndexOf('\n') + 1;
        text += codec->toUnicode(raw.constData(), cut);
        raw.remove(0, cut);
        if (!parser.feed(text, false))
            return parser.result();
        if (m_progress)
            m_progress(done, size);
    }
    if (done < size) {
        parser.result() = {Outcome::Refused, parser.line(),
                           tr("the file ended early: it was changed or removed while it was "
                              "read")};
        return parser.result();
    }
    text += codec->toUnicode(raw);
    if (!parser.feed(text, true))
        return parser.result();
    if (!parser.sawHeader()) {
        parser.result() = {Outcome::Refused, 1, tr("the file is empty")};
        return parser.result();
    }
    parser.result().outcome = Outcome::Read;
    return parser.result();
}
