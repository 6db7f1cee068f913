#include "record/readingstore.h"

#include "record/timestampformatter.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <utility>

ReadingStore::ReadingStore()
{
    renew();
}
ReadingStore::~ReadingStore() = default;

bool ReadingStore::Pieces::operator==(const Pieces &other) const
{
    return functionName == other.functionName && rangeText == other.rangeText &&
           unitText == other.unitText;
}

uint qHash(const ReadingStore::Pieces &pieces, uint seed)
{
    return qHash(pieces.functionName, seed) ^ qHash(pieces.rangeText, seed) ^
           qHash(pieces.unitText, seed);
}

ReadingStore::Block &ReadingStore::nextBlock(qint64 msecs, double value, quint8 marks,
                                             bool *timeFits)
{
    const int slot = m_count % kBlockSize;
    if (slot == 0)
        m_blocks.push_back(std::make_unique<Block>());
    Block &b = *m_blocks.back();
    if (b.timeBase == kNoTime && msecs != kNoTime)
        b.timeBase = msecs > kNoTime + kTimeSlack ? msecs - kTimeSlack : msecs;
    const qint64 offset = msecs == kNoTime ? kNoTimeOffset : msecs - b.timeBase;
    *timeFits = msecs == kNoTime || (offset >= 0 && offset < kNoTimeOffset);
    b.times[slot] = *timeFits ? quint32(offset) : kNoTimeOffset;
    b.values[slot] = value;
    widen(b.range, value);
    b.marks[slot] = marks;
    addSample(b.summary, value, marks);
    addSample(m_total, value, marks);
    return b;
}

void ReadingStore::append(const ChartPoint &point)
{
    const int slot = m_count % kBlockSize;
    const QDateTime time = point.time();
    bool timeFits = false;
    Block &b =
        nextBlock(time.isValid() ? time.toMSecsSinceEpoch() : kNoTime, point.value(),
                  packMarks(point.isOverload(), point.isAlarm(), point.resolution()), &timeFits);
    // Only local times come back identical from a count of milliseconds.
    Pieces pieces;
    b.pieces[slot] = kWholePoint;
    if (timeFits && time.isValid() && time.timeSpec() == Qt::LocalTime &&
        packText(point.valueText(), b.texts[slot]) &&
        splitLabel(point, &pieces.functionName, &pieces.unitText))
        b.pieces[slot] = internPieces(pieces);
    if (b.pieces[slot] == kWholePoint)
        m_whole.insert(m_count, {point, Pieces()});
    ++m_count;
}

void ReadingStore::append(qint64 msecs, double value, const QString &valueText,
                          const Pieces &pieces, bool overload, int resolution, bool alarm)
{
    const int slot = m_count % kBlockSize;
    bool timeFits = false;
    Block &b = nextBlock(msecs, value, packMarks(overload, alarm, resolution), &timeFits);
    b.pieces[slot] =
        timeFits && packText(valueText, b.texts[slot]) ? internPieces(pieces) : kWholePoint;
    if (b.pieces[slot] == kWholePoint) {
        const QDateTime time =
            msecs == kNoTime ? QDateTime() : QDateTime::fromMSecsSinceEpoch(msecs);
        ChartPoint point(
            time, value, valueText,
            ChartPoint::makeLabel(time, pieces.functionName, valueText, pieces.unitText));
        point.setOverload(overload);
        point.setAlarm(alarm);
        point.setResolution(resolution);
        m_whole.insert(m_count, {point, pieces});
    }
    ++m_count;
}

// Copies a sample of another store; one whose time this store's block cannot hold is kept whole.
void ReadingStore::appendCopy(const ReadingStore &source, int index)
{
    const Block &from = source.block(index);
    const int at = index % kBlockSize;
    const int slot = m_count % kBlockSize;
    bool timeFits = false;
    Block &b = nextBlock(source.msecs(index), from.values[at], from.marks[at], &timeFits);
    std::copy_n(from.texts[at], kTextBytes, b.texts[slot]);
    b.pieces[slot] = timeFits ? from.pieces[at] : kWholePoint;
    if (from.pieces[at] == kWholePoint)
        m_whole.insert(m_count, source.m_whole.value(index));
    else if (!timeFits)
        m_whole.insert(m_count, {source.point(index), source.pieces(index)});
    ++m_count;
}

void ReadingStore::remove(int first, int count)
{
    ReadingStore kept;
    kept.m_pieces = m_pieces;
    kept.m_pieceIndex = m_pieceIndex;
    for (int i = 0; i < m_count; ++i) {
        if (i < first || i - first >= count)
            kept.appendCopy(*this, i);
    }
    swap(kept);
}

void ReadingStore::swap(ReadingStore &other)
{
    std::swap(m_blocks, other.m_blocks);
    std::swap(m_count, other.m_count);
    std::swap(m_total, other.m_total);
    std::swap(m_pieces, other.m_pieces);
    std::swap(m_pieceIndex, other.m_pieceIndex);
    std::swap(m_lastPieces, other.m_lastPieces);
    std::swap(m_whole, other.m_whole);
    std::swap(m_cachedSecond, other.m_cachedSecond);
    std::swap(m_cachedTimeText, other.m_cachedTimeText);
    renew();
    other.renew();
}

void ReadingStore::clear()
{
    m_blocks.clear();
    m_count = 0;
    m_total = ReadingSummary();
    m_pieces.clear();
    m_pieceIndex.clear();
    m_lastPieces = kWholePoint;
    m_whole.clear();
    m_cachedTimeText.clear();
    renew();
}

// Whoever remembers something of the samples (a chart's thinned curve) sees they changed.
void ReadingStore::renew()
{
    static std::atomic<quint64> generations{0};
    m_generation = ++generations;
}

qint64 ReadingStore::msecs(int index) const
{
    const Block &b = block(index);
    const int slot = index % kBlockSize;
    if (b.pieces[slot] == kWholePoint) {
        const QDateTime time = m_whole.value(index).point.time();
        return time.isValid() ? time.toMSecsSinceEpoch() : kNoTime;
    }
    return b.times[slot] == kNoTimeOffset ? kNoTime : b.timeBase + b.times[slot];
}

QDateTime ReadingStore::time(int index) const
{
    const Block &b = block(index);
    const int slot = index % kBlockSize;
    if (b.pieces[slot] == kWholePoint)
        return m_whole.value(index).point.time();
    const qint64 at = msecs(index);
    return at == kNoTime ? QDateTime() : QDateTime::fromMSecsSinceEpoch(at);
}

QString ReadingStore::valueText(int index) const
{
    const Block &b = block(index);
    const int slot = index % kBlockSize;
    if (b.pieces[slot] == kWholePoint)
        return m_whole.value(index).point.valueText();
    const char *bytes = b.texts[slot];
    return QString::fromLatin1(bytes, bytes[kTextBytes - 1]);
}

const ReadingStore::Pieces &ReadingStore::pieces(int index) const
{
    const quint16 pieces = block(index).pieces[index % kBlockSize];
    if (pieces == kWholePoint)
        return m_whole.find(index)->pieces;
    return m_pieces.at(pieces);
}

QVariant ReadingStore::label(int index) const
{
    if (block(index).pieces[index % kBlockSize] == kWholePoint)
        return m_whole.value(index).point.label();
    const Pieces &piece = pieces(index);
    return ChartPoint::makeLabel(time(index), piece.functionName, valueText(index), piece.unitText);
}

ChartPoint ReadingStore::point(int index) const
{
    ChartPoint sample(time(index), value(index), valueText(index), label(index));
    const quint8 marks = block(index).marks[index % kBlockSize];
    sample.setOverload(marks & kOverloadMark);
    sample.setAlarm(marks & kAlarmMark);
    const int step = marks >> kStepShift;
    sample.setResolution(step == kUnknownStep ? ReadingSummary::kNoResolution : step - kStepBias);
    return sample;
}

ReadingStore::Range ReadingStore::valueRange(int first, int last) const
{
    Range range;
    forStretch(
        first, last,
        [&range](const Block &b) {
            if (b.range.valid) {
                widen(range, b.range.min);
                widen(range, b.range.max);
            }
        },
        [&range](const Block &b, int slot) { widen(range, b.values[slot]); });
    return range;
}

ReadingSummary ReadingStore::summary(int first, int last) const
{
    ReadingSummary summary;
    forStretch(
        first, last, [&summary](const Block &b) { summary.merge(b.summary); },
        [&summary](const Block &b, int slot) {
            addSample(summary, b.values[slot], b.marks[slot]);
        });
    return summary;
}

quint8 ReadingStore::packMarks(bool overload, bool alarm, int resolution)
{
    const int step = resolution == ReadingSummary::kNoResolution
                         ? kUnknownStep
                         : qBound(0, resolution + kStepBias, kUnknownStep - 1);
    return quint8((overload ? kOverloadMark : 0) | (alarm ? kAlarmMark : 0) | step << kStepShift);
}

void ReadingStore::addSample(ReadingSummary &summary, double value, quint8 marks)
{
    const int step = marks >> kStepShift;
    summary.add(value, marks & kOverloadMark, marks & kAlarmMark,
                step == kUnknownStep ? ReadingSummary::kNoResolution : step - kStepBias);
}

bool ReadingStore::packText(const QString &text, char *bytes) const
{
    if (text.size() >= kTextBytes)
        return false;
    for (int i = 0; i < text.size(); ++i) {
        const ushort code = text.at(i).unicode();
        if (code > 0xFF)
            return false;
        bytes[i] = char(code);
    }
    bytes[kTextBytes - 1] = char(text.size());
    return true;
}

// Takes a label of the form "<time>: <function> <value text><unit>" apart, so that only the
// function and unit need to be kept; any split found puts the same text back together.
bool ReadingStore::splitLabel(const ChartPoint &point, QString *functionName, QString *unitText)
{
    if (point.label().userType() != QMetaType::QString)
        return false;
    const QString label = point.label().toString();
    const QString &timeText = labelTimeText(point.time().toMSecsSinceEpoch(), point.time());
    const QLatin1String separator(": ");
    if (!label.startsWith(timeText) || label.midRef(timeText.size(), 2) != separator)
        return false;
    const QStringRef rest = label.midRef(timeText.size() + 2);
    const QString needle = QLatin1Char(' ') + point.valueText();
    const int at = rest.indexOf(needle);
    if (at < 0)
        return false;
    *functionName = rest.left(at).toString();
    *unitText = rest.mid(at + needle.size()).toString();
    return true;
}

const QString &ReadingStore::labelTimeText(qint64 msecs, const QDateTime &time)
{
    const qint64 second = msecs >= 0 ? msecs / 1000 : -((-msecs + 999) / 1000);
    if (m_cachedTimeText.isNull() || second != m_cachedSecond) {
        m_cachedSecond = second;
        m_cachedTimeText = time.toString(kTimestampLayout);
    }
    return m_cachedTimeText;
}

quint16 ReadingStore::internPieces(const Pieces &pieces)
{
    // A recording nearly always repeats the pieces of the reading before.
    if (m_lastPieces < m_pieces.size() && m_pieces.at(m_lastPieces) == pieces)
        return quint16(m_lastPieces);
    const auto found = m_pieceIndex.constFind(pieces);
    if (found != m_pieceIndex.constEnd()) {
        m_lastPieces = found.value();
        return found.value();
    }
    if (m_pieces.size() >= kWholePoint)
        return kWholePoint;
    const quint16 index = quint16(m_pieces.size());
    m_lastPieces = index;
    m_pieces.append(pieces);
    m_pieceIndex.insert(pieces, index);
    return index;
}

void ReadingStore::widen(Range &range, double value)
{
    if (!std::isfinite(value))
        return;
    if (!range.valid) {
        range = {true, value, value};
        return;
    }
    if (value < range.min)
        range.min = value;
    if (value > range.max)
        range.max = value;
}
