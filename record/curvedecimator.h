#pragma once

#include <QPoint>
#include <QVector>
#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <vector>

// Thins a chart curve, the polyline through (int(k * xStep + plotX), row k) for every sample k
// (xStep >= 0), to a few points per pixel column, such that a 1-pixel aliased pen sets exactly the
// same pixels as it would for the full polyline.
//
// Inside one column the full polyline only moves up and down. A pen draws such a zigzag as the
// span between its turning points, plus what the first and the last stroke of the column add at
// their ends, and it leaves the column with a pen state (last pixel and direction) given by the
// last stroke alone. So each column is replaced by its first point, the turning-point extremes
// visited in the same first and last direction, and its last point; monotone runs and repeated
// points collapse. The pen caps the two ends of a polyline, so the first and the last stroke of
// the curve are kept as they are.
//
// What a column needs of its rows is summed up the same way for every chunk of kChunkSize samples,
// and once more for every run of kRunChunks chunks, and kept: a column of a long curve is then
// read from the runs and chunks it spans and a few samples at its edges, instead of sample by
// sample, so that its cost hardly grows with the curve. The summaries stay valid while the rows of
// the samples seen before do not change; the caller says when they do (another scale, or other
// samples). Summing up a long curve anew takes longer than a frame, so it can be done ahead in
// slices of a given length.
class CurveDecimator
{
public:
    using Clock = std::chrono::steady_clock;

    static constexpr int kChunkSize = 64;
    static constexpr int kRunChunks = 64;

    // The thinned polyline of count samples; valid until the next call. forRows(from, to, visit)
    // calls visit(row) for the rows of samples from ... to - 1 in order.
    template<class ForRows>
    const QVector<QPoint> &thin(int count, double xStep, int plotX, ForRows forRows);
    // Sums up the chunks of the first count samples that are not yet summed up, until they all
    // are (true) or the clock passes deadline (false); thin() then reads them as they are.
    template<class ForRows> bool prepare(int count, ForRows forRows, Clock::time_point deadline);

    // The rows of the samples thinned before are no longer the rows forRows visits.
    void forgetRows()
    {
        m_chunks.clear();
        m_runs.clear();
    }

private:
    // The vertical strokes of one column, followed point by point without branches: curve
    // samples jitter up and down at random, which defeats branch prediction. Two runs of strokes
    // join into the run of the whole.
    struct Zigzag
    {
        static constexpr int kNone = -1; // no stroke yet; strokes are 1 (down) or 0 (up)

        void start(int y)
        {
            *this = Zigzag();
            first = y;
            current = y;
        }

        // Arithmetic instead of conditions, so that the compiler emits no branches.
        void add(int y)
        {
            const int movedMask = -int(y != current);
            const int direction = (int(y > current) & movedMask) | (lastDirection & ~movedMask);
            const int turnMask = -int((direction != lastDirection) & (lastDirection != kNone));
            lowTurn = std::min(lowTurn, (current & turnMask) | (INT_MAX & ~turnMask));
            highTurn = std::max(highTurn, (current & turnMask) | (INT_MIN & ~turnMask));
            turns -= turnMask;
            const int firstMask = -int(lastDirection == kNone);
            firstDirection = (direction & firstMask) | (firstDirection & ~firstMask);
            lastDirection = direction;
            current = y;
        }

        // Continues with the run that follows: a stroke to its first point, a turn there when
        // its first stroke runs against the last one so far, then its own strokes.
        void append(const Zigzag &next)
        {
            add(next.first);
            if (next.lastDirection == kNone)
                return;
            if (lastDirection != kNone && next.firstDirection != lastDirection) {
                lowTurn = std::min(lowTurn, next.first);
                highTurn = std::max(highTurn, next.first);
                ++turns;
            }
            if (firstDirection == kNone)
                firstDirection = next.firstDirection;
            lowTurn = std::min(lowTurn, next.lowTurn);
            highTurn = std::max(highTurn, next.highTurn);
            turns += next.turns;
            lastDirection = next.lastDirection;
            current = next.current;
        }

        int first = 0;
        int current = 0;
        int turns = 0;
        int firstDirection = kNone;
        int lastDirection = kNone;
        int lowTurn = INT_MAX; // lowest and highest turning point (pixel rows)
        int highTurn = INT_MIN;
    };

    // The strokes of samples from ... to - 1 (from < to).
    template<class ForRows> static Zigzag strokes(int from, int to, ForRows forRows);
    // The same, from the kept chunks that lie wholly inside.
    template<class ForRows> Zigzag chunkedStrokes(int from, int to, ForRows forRows) const;
    void summarizeRuns();
    // Continues zigzag with chunks first ... end - 1, taking whole runs where they fit.
    void appendChunks(Zigzag &zigzag, int first, int end) const;
    void appendColumn(int x, const Zigzag &zigzag);

    QVector<QPoint> m_out;
    // Summary of samples i * kChunkSize ... (i + 1) * kChunkSize - 1 for every whole chunk seen,
    // and of chunks i * kRunChunks ... (i + 1) * kRunChunks - 1 for every whole run of them.
    std::vector<Zigzag> m_chunks;
    std::vector<Zigzag> m_runs;
};

template<class ForRows>
const QVector<QPoint> &CurveDecimator::thin(int count, double xStep, int plotX, ForRows forRows)
{
    m_out.clear();
    prepare(count, forRows, Clock::time_point::max());
    const auto columnOf = [xStep, plotX](int k) { return int(k * xStep + plotX); };
    // First sample right of column x: estimated from the spacing, then settled with the exact
    // column of each sample, so no sample moves to another column.
    const auto columnEnd = [&](int k, int x) {
        const double estimate = std::ceil((x + 1 - plotX) / xStep);
        int end = estimate < count ? qMax(k + 1, int(estimate)) : count;
        while (end > k + 1 && columnOf(end - 1) > x)
            --end;
        while (end < count && columnOf(end) == x)
            ++end;
        return end;
    };
    const int lastX = count > 0 ? columnOf(count - 1) : 0;
    for (int k = 0; k < count;) {
        const int x = columnOf(k);
        const int end = columnEnd(k, x);
        // The first and the last stroke of the curve are kept as they are.
        const int head = k == 0 ? k + 1 : k;
        const int tail = x == lastX ? end - 1 : end;
        const auto keep = [this, x](int y) { m_out.append(QPoint(x, y)); };
        forRows(k, head, keep);
        if (head < tail)
            appendColumn(x, chunkedStrokes(head, tail, forRows));
        forRows(qMax(head, tail), end, keep);
        k = end;
    }
    return m_out;
}

template<class ForRows>
CurveDecimator::Zigzag CurveDecimator::strokes(int from, int to, ForRows forRows)
{
    Zigzag zigzag;
    forRows(from, from + 1, [&zigzag](int y) { zigzag.start(y); });
    forRows(from + 1, to, [&zigzag](int y) { zigzag.add(y); });
    return zigzag;
}

template<class ForRows>
CurveDecimator::Zigzag CurveDecimator::chunkedStrokes(int from, int to, ForRows forRows) const
{
    // Chunks that start after the first sample and end by the last one.
    const int firstChunk = from / kChunkSize + 1;
    const int endChunk = to / kChunkSize;
    if (firstChunk >= endChunk)
        return strokes(from, to, forRows);
    Zigzag zigzag = strokes(from, firstChunk * kChunkSize, forRows);
    appendChunks(zigzag, firstChunk, endChunk);
    forRows(endChunk * kChunkSize, to, [&zigzag](int y) { zigzag.add(y); });
    return zigzag;
}

template<class ForRows>
bool CurveDecimator::prepare(int count, ForRows forRows, Clock::time_point deadline)
{
    const size_t whole = size_t(count / kChunkSize);
    while (m_chunks.size() < whole) {
        // The clock is read once a run of chunks.
        const size_t end = std::min(whole, (m_chunks.size() / kRunChunks + 1) * kRunChunks);
        while (m_chunks.size() < end) {
            const int from = int(m_chunks.size()) * kChunkSize;
            m_chunks.push_back(strokes(from, from + kChunkSize, forRows));
        }
        summarizeRuns();
        if (m_chunks.size() < whole && Clock::now() >= deadline)
            return false;
    }
    return true;
}
