#include "record/chartpointstore.h"

#include <cmath>
#include <utility>

ChartPointStore::ChartPointStore() = default;
ChartPointStore::~ChartPointStore() = default;

ChartPointStore::Block &ChartPointStore::nextBlock(double value, quint8 marks)
{
    const int slot = m_count % kBlockSize;
    if (slot == 0)
        m_blocks.push_back(std::make_unique<Block>());
    Block &b = *m_blocks.back();
    b.values[slot] = value;
    widen(b.range, value);
    b.marks[slot] = marks;
    addSample(b.summary, value, marks);
    addSample(m_total, value, marks);
    return b;
}

void ChartPointStore::append(const ChartPoint &point)
{
    const int slot = m_count % kBlockSize;
    Block &b = nextBlock(point.value(), packMarks(point));

    const QDateTime time = point.time();
    b.times[slot] = time.toMSecsSinceEpoch();
    // Only local times come back identical from a count of milliseconds.
    QString functionName;
    QString unitText;
    quint16 pieces = kWholePoint;
    if (time.isValid() && time.timeSpec() == Qt::LocalTime &&
        packText(point.valueText(), b.texts[slot]) && splitLabel(point, &functionName, &unitText))
        pieces = internPieces(functionName, unitText);
    b.pieces[slot] = pieces;
    if (pieces == kWholePoint)
        m_whole.insert(m_count, point);
    ++m_count;
}

void ChartPointStore::append(qint64 msecs, double value, const QString &valueText,
                             const QString &functionName, const QString &unitText, bool overload,
                             int resolution)
{
    const int slot = m_count % kBlockSize;
    ChartPoint marks;
    marks.setOverload(overload);
    marks.setResolution(resolution);
    Block &b = nextBlock(value, packMarks(marks));
    b.times[slot] = msecs;
    b.pieces[slot] =
        packText(valueText, b.texts[slot]) ? internPieces(functionName, unitText) : kWholePoint;
    if (b.pieces[slot] == kWholePoint) {
        const QDateTime time = QDateTime::fromMSecsSinceEpoch(msecs);
        m_whole.insert(m_count,
                       ChartPoint(time, value, valueText,
                                  ChartPoint::makeLabel(time, functionName, valueText, unitText)));
    }
    ++m_count;
}

void ChartPointStore::swap(ChartPointStore &other)
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
}

void ChartPointStore::clear()
{
    m_blocks.clear();
    m_count = 0;
    m_total = ReadingSummary();
    m_pieces.clear();
    m_pieceIndex.clear();
    m_lastPieces = kWholePoint;
    m_whole.clear();
    m_cachedTimeText.clear();
}

QDateTime ChartPointStore::time(int index) const
{
    const Block &b = block(index);
    const int slot = index % kBlockSize;
    if (b.pieces[slot] == kWholePoint)
        return m_whole.value(index).time();
    return QDateTime::fromMSecsSinceEpoch(b.times[slot]);
}

QString ChartPointStore::valueText(int index) const
{
    const Block &b = block(index);
    const int slot = index % kBlockSize;
    if (b.pieces[slot] == kWholePoint)
        return m_whole.value(index).valueText();
    const char *bytes = b.texts[slot];
    return QString::fromLatin1(bytes, bytes[kTextBytes - 1]);
}

QVariant ChartPointStore::label(int index) const
{
    const Block &b = block(index);
    const int slot = index % kBlockSize;
    const quint16 pieces = b.pieces[slot];
    if (pieces == kWholePoint)
        return m_whole.value(index).label();
    const QPair<QString, QString> &piece = m_pieces.at(pieces);
    return ChartPoint::makeLabel(QDateTime::fromMSecsSinceEpoch(b.times[slot]), piece.first,
                                 valueText(index), piece.second);
}

ChartPoint ChartPointStore::point(int index) const
{
    ChartPoint sample(time(index), value(index), valueText(index), label(index));
    const quint8 marks = block(index).marks[index % kBlockSize];
    sample.setOverload(marks & kOverloadMark);
    sample.setAlarm(marks & kAlarmMark);
    const int step = marks >> kStepShift;
    sample.setResolution(step == kUnknownStep ? ReadingSummary::kNoResolution : step - kStepBias);
    return sample;
}

ChartPointStore::Range ChartPointStore::valueRange(int first, int last) const
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

ReadingSummary ChartPointStore::summary(int first, int last) const
{
    ReadingSummary summary;
    forStretch(
        first, last, [&summary](const Block &b) { summary.merge(b.summary); },
        [&summary](const Block &b, int slot) {
            addSample(summary, b.values[slot], b.marks[slot]);
        });
    return summary;
}

quint8 ChartPointStore::packMarks(const ChartPoint &point)
{
    const int resolution = point.resolution();
    const int step = resolution == ReadingSummary::kNoResolution
                         ? kUnknownStep
                         : qBound(0, resolution + kStepBias, kUnknownStep - 1);
    return quint8((point.isOverload() ? kOverloadMark : 0) | (point.isAlarm() ? kAlarmMark : 0) |
                  step << kStepShift);
}

void ChartPointStore::addSample(ReadingSummary &summary, double value, quint8 marks)
{
    const int step = marks >> kStepShift;
    summary.add(value, marks & kOverloadMark, marks & kAlarmMark,
                step == kUnknownStep ? ReadingSummary::kNoResolution : step - kStepBias);
}

bool ChartPointStore::packText(const QString &text, char *bytes) const
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
bool ChartPointStore::splitLabel(const ChartPoint &point, QString *functionName, QString *unitText)
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

const QString &ChartPointStore::labelTimeText(qint64 msecs, const QDateTime &time)
{
    const qint64 second = msecs >= 0 ? msecs / 1000 : -((-msecs + 999) / 1000);
    if (m_cachedTimeText.isNull() || second != m_cachedSecond) {
        m_cachedSecond = second;
        m_cachedTimeText = time.toString(ChartPoint::labelTimeFormat);
    }
    return m_cachedTimeText;
}

quint16 ChartPointStore::internPieces(const QString &functionName, const QString &unitText)
{
    // A recording nearly always repeats the pieces of the sample before.
    if (m_lastPieces < m_pieces.size() && m_pieces.at(m_lastPieces).first == functionName &&
        m_pieces.at(m_lastPieces).second == unitText)
        return quint16(m_lastPieces);
    const QPair<QString, QString> key(functionName, unitText);
    const auto found = m_pieceIndex.constFind(key);
    if (found != m_pieceIndex.constEnd()) {
        m_lastPieces = found.value();
        return found.value();
    }
    if (m_pieces.size() >= kWholePoint)
        return kWholePoint;
    const quint16 index = quint16(m_pieces.size());
    m_lastPieces = index;
    m_pieces.append(key);
    m_pieceIndex.insert(key, index);
    return index;
}

void ChartPointStore::widen(Range &range, double value)
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
