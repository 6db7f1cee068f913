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
    // One reading after another mostly brings copies of the same texts.
    const auto same = [](const QString &a, const QString &b) {
        return a.constData() == b.constData() ? a.size() == b.size() : a == b;
    };
    return same(functionName, other.functionName) && same(rangeText, other.rangeText) &&
           same(unitText, other.unitText);
}

uint qHash(const ReadingStore::Pieces &pieces, uint seed)
{
    return qHash(pieces.functionName, seed) ^ qHash(pieces.rangeText, seed) ^
           qHash(pieces.unitText, seed);
}

ReadingStore::Block &ReadingStore::nextBlock(qint64 msecs, double value, quint8 marks, bool alarm,
                                             bool *timeFits)
{
    const int slot = m_count % kBlockSize;
    if (slot == 0) {
        if (!m_blocks.empty())
            m_finished.merge(m_blocks.back()->summary);
        m_blocks.push_back(std::make_shared<Block>());
    }
    Block &b = *m_blocks.back();
    if (b.timeBase == kNoTime && msecs != kNoTime)
        b.timeBase = msecs > kNoTime + kTimeSlack ? msecs - kTimeSlack : msecs;
    const qint64 offset = msecs == kNoTime ? kNoTimeOffset : msecs - b.timeBase;
    *timeFits = msecs == kNoTime || (offset >= 0 && offset < kNoTimeOffset);
    b.times[slot] = *timeFits ? quint32(offset) : kNoTimeOffset;
    b.values[slot] = value;
    widen(b.range, value);
    b.marks[slot] = marks;
    b.alarms[slot / 64] |= quint64(alarm) << slot % 64;
    addSample(b.summary, value, marks, alarm);
    return b;
}

void ReadingStore::append(const ChartPoint &point)
{
    const int slot = m_count % kBlockSize;
    const QDateTime time = point.time();
    bool timeFits = false;
    // A point knows only that it is an overload; the side is that of its value, the end of the
    // range it ran past.
    const int overload = point.isOverload() ? (point.value() < 0 ? -1 : 1) : 0;
    Block &b = nextBlock(time.isValid() ? time.toMSecsSinceEpoch() : kNoTime, point.value(),
                         packMarks(overload, point.resolution()), point.isAlarm(), &timeFits);
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
                          const Pieces &pieces, int overload, int resolution, bool alarm)
{
    const int slot = m_count % kBlockSize;
    bool timeFits = false;
    Block &b = nextBlock(msecs, value, packMarks(overload, resolution), alarm, &timeFits);
    b.pieces[slot] =
        timeFits && packText(valueText, b.texts[slot]) ? internPieces(pieces) : kWholePoint;
    if (b.pieces[slot] == kWholePoint) {
        const QDateTime time =
            msecs == kNoTime ? QDateTime() : QDateTime::fromMSecsSinceEpoch(msecs);
        ChartPoint point(
            time, value, valueText,
            ChartPoint::makeLabel(time, pieces.functionName, valueText, pieces.unitText));
        point.setOverload(overload != 0);
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
    Block &b = nextBlock(source.msecs(index), from.values[at], from.marks[at], alarmBit(from, at),
                         &timeFits);
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
    const std::unique_ptr<Marking> marking = std::move(m_marking);
    swap(kept);
    // The readings moved to other blocks: a marking under way starts again.
    if (marking)
        startMarking(marking->limits);
}

std::unique_ptr<const ReadingStore> ReadingStore::snapshot() const
{
    auto copy = std::make_unique<ReadingStore>();
    copy->m_blocks = m_blocks;
    copy->m_count = m_count;
    copy->m_finished = m_finished;
    copy->m_pieces = m_pieces;
    copy->m_whole = m_whole;
    return copy;
}

void ReadingStore::swap(ReadingStore &other)
{
    std::swap(m_blocks, other.m_blocks);
    std::swap(m_marking, other.m_marking);
    std::swap(m_count, other.m_count);
    std::swap(m_finished, other.m_finished);
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
    m_marking.reset();
    m_count = 0;
    m_finished = ReadingSummary();
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
    const QLatin1String packed = packedValueText(index);
    return packed.data() ? QString(packed) : m_whole.value(index).point.valueText();
}

QLatin1String ReadingStore::packedValueText(int index) const
{
    const Block &b = block(index);
    const int slot = index % kBlockSize;
    if (b.pieces[slot] == kWholePoint)
        return QLatin1String();
    const char *bytes = b.texts[slot];
    return QLatin1String(bytes, bytes[kTextBytes - 1]);
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
    sample.setAlarm(isAlarm(index));
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
            addSample(summary, b.values[slot], b.marks[slot], alarmBit(b, slot));
        });
    return summary;
}

ReadingSummary ReadingStore::total() const
{
    ReadingSummary total = m_finished;
    if (!m_blocks.empty())
        total.merge(m_blocks.back()->summary);
    return total;
}

bool ReadingStore::isAlarm(int index) const
{
    return alarmBit(block(index), index % kBlockSize);
}

int ReadingStore::nextAlarm(int from, int last) const
{
    from = qMax(from, 0);
    last = qMin(last, m_count - 1);
    while (from <= last) {
        const Block &b = block(from);
        const int offset = from % kBlockSize;
        const int start = from - offset;
        const int end = qMin(kBlockSize, last - start + 1);
        // Most blocks hold no alarm at all and are passed over whole.
        for (int word = offset / 64; b.summary.alarms() > 0 && word * 64 < end; ++word) {
            const quint64 bits =
                b.alarms[word] & (~quint64(0) << (word == offset / 64 ? offset % 64 : 0));
            if (bits != 0) {
                const int slot = word * 64 + __builtin_ctzll(bits);
                return slot < end ? start + slot : -1;
            }
        }
        from = start + kBlockSize;
    }
    return -1;
}

void ReadingStore::startMarking(const LimitAlarm &limits)
{
    m_marking = std::make_unique<Marking>();
    m_marking->limits = limits;
}

bool ReadingStore::continueMarking(Clock::time_point deadline)
{
    if (!m_marking)
        return true;
    Marking &marking = *m_marking;
    // The last block may still grow: it is marked when the others are done.
    while (marking.counts.size() + 1 < m_blocks.size()) {
        marking.alarms.emplace_back();
        marking.counts.push_back(markBlock(*m_blocks[marking.counts.size()], kBlockSize,
                                           marking.limits, marking.alarms.back().data()));
        if (Clock::now() >= deadline)
            return false;
    }
    finishMarking();
    return true;
}

void ReadingStore::finishMarking()
{
    Marking &marking = *m_marking;
    if (!m_blocks.empty()) {
        marking.alarms.emplace_back();
        marking.counts.push_back(markBlock(*m_blocks.back(),
                                           m_count - int(marking.counts.size()) * kBlockSize,
                                           marking.limits, marking.alarms.back().data()));
    }
    for (size_t i = 0; i < m_blocks.size(); ++i) {
        Block &b = *m_blocks[i];
        const qint64 change = marking.counts[i] - b.summary.alarms();
        b.summary.addAlarms(change);
        if (i + 1 < m_blocks.size())
            m_finished.addAlarms(change);
        std::copy(marking.alarms[i].begin(), marking.alarms[i].end(), b.alarms);
    }
    m_marking.reset();
}

int ReadingStore::markBlock(const Block &b, int count, const LimitAlarm &limits, quint64 *alarms)
{
    // The limits' test without branches: an absent limit lies at infinity, and a value that is
    // not a number compares false either way, as it does with the limits themselves.
    constexpr double kInfinity = std::numeric_limits<double>::infinity();
    const double low = limits.low().value_or(-kInfinity);
    const double high = limits.high().value_or(kInfinity);
    const quint64 lowOverload = limits.low().has_value();
    const quint64 highOverload = limits.high().has_value();
    int outside = 0;
    for (int word = 0; word < kAlarmWords; ++word) {
        quint64 bits = 0;
        const int end = qMin(64, count - word * 64);
        for (int j = 0; j < end; ++j) {
            const int slot = word * 64 + j;
            const quint8 marks = b.marks[slot];
            const double value = b.values[slot];
            const quint64 overload = marks & kOverloadMark;
            const quint64 beyond = (marks & kNegativeMark) ? lowOverload : highOverload;
            const quint64 numeric = quint64(value < low) | quint64(value > high);
            bits |= ((overload & beyond) | (~overload & 1 & numeric)) << j;
        }
        alarms[word] = bits;
        outside += __builtin_popcountll(bits);
    }
    return outside;
}

quint8 ReadingStore::packMarks(int overload, int resolution)
{
    const int step = resolution == ReadingSummary::kNoResolution
                         ? kUnknownStep
                         : qBound(0, resolution + kStepBias, kUnknownStep - 1);
    return quint8((overload != 0 ? kOverloadMark : 0) | (overload < 0 ? kNegativeMark : 0) |
                  step << kStepShift);
}

void ReadingStore::addSample(ReadingSummary &summary, double value, quint8 marks, bool alarm)
{
    const int step = marks >> kStepShift;
    summary.add(value, marks & kOverloadMark, alarm,
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
