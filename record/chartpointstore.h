#pragma once

#include "record/chartpoint.h"
#include "record/readingsummary.h"

#include <QHash>
#include <QPair>
#include <QVector>
#include <memory>
#include <vector>

// The samples of one chart line, kept compactly so that a week of readings fits: each sample
// costs 26 bytes (time in ms, value, up to seven Latin-1 characters of value text and an index
// into the interned function/unit pieces of its hover label). Storage grows in fixed blocks, so
// appending never copies what is already there, and every block remembers the range of its
// values and the summary of its readings, so the range or the figures of any stretch of samples
// take one pass over the blocks and at most two partial blocks.
// Samples that do not fit that form (another time zone, an unusual label) keep their texts whole.
class ChartPointStore
{
public:
    static constexpr int kBlockSize = 4096;

    // Lowest and highest finite value of a stretch; valid is false when it has none.
    struct Range
    {
        bool valid = false;
        double min = 0;
        double max = 0;
    };

    ChartPointStore();
    ~ChartPointStore();
    ChartPointStore(const ChartPointStore &) = delete;
    ChartPointStore &operator=(const ChartPointStore &) = delete;

    void append(const ChartPoint &point);
    // Appends the sample a reading at the local instant msecs gives, with the hover label
    // ChartPoint::makeLabel makes for it, without building that label; overload and resolution
    // as the ChartPoint's.
    void append(qint64 msecs, double value, const QString &valueText, const QString &functionName,
                const QString &unitText, bool overload = false,
                int resolution = ReadingSummary::kNoResolution);
    void clear();
    void swap(ChartPointStore &other);

    int count() const { return m_count; }
    double value(int index) const { return block(index).values[index % kBlockSize]; }
    QDateTime time(int index) const;
    QString valueText(int index) const;
    QVariant label(int index) const;
    ChartPoint point(int index) const;

    // Range of the values of samples first ... last (clipped to the stored samples).
    Range valueRange(int first, int last) const;

    // Figures of samples first ... last (clipped to the stored samples), and of all of them.
    ReadingSummary summary(int first, int last) const;
    const ReadingSummary &total() const { return m_total; }
    bool isAlarm(int index) const { return block(index).marks[index % kBlockSize] & kAlarmMark; }
    // Calls visit(index) for the samples outside the limits among first ... last, in order.
    template<class Visit> void forEachAlarm(int first, int last, Visit visit) const;

    // Calls visit(value) for samples first ... last in order (clipped to the stored samples).
    template<class Visit> void forEachValue(int first, int last, Visit visit) const;

private:
    static constexpr quint16 kWholePoint = 0xFFFF;
    static constexpr int kTextBytes = 8; // seven characters and their count
    // A sample's marks: overload, alarm, and its display step's exponent offset by kStepBias.
    static constexpr quint8 kOverloadMark = 1;
    static constexpr quint8 kAlarmMark = 2;
    static constexpr int kStepShift = 2;
    static constexpr int kStepBias = 32;
    static constexpr int kUnknownStep = 63;

    struct Block
    {
        double values[kBlockSize];
        qint64 times[kBlockSize];
        char texts[kBlockSize][kTextBytes];
        quint16 pieces[kBlockSize];
        quint8 marks[kBlockSize];
        Range range;
        ReadingSummary summary;
    };

    const Block &block(int index) const { return *m_blocks[size_t(index / kBlockSize)]; }
    // The block for the next sample, with its value counted in the block's range.
    // The block for the next sample, with its value and marks stored and summed up.
    Block &nextBlock(double value, quint8 marks);
    bool packText(const QString &text, char *bytes) const;
    bool splitLabel(const ChartPoint &point, QString *functionName, QString *unitText);
    const QString &labelTimeText(qint64 msecs, const QDateTime &time);
    quint16 internPieces(const QString &functionName, const QString &unitText);
    static void widen(Range &range, double value);
    static quint8 packMarks(const ChartPoint &point);
    static void addSample(ReadingSummary &summary, double value, quint8 marks);
    // Calls whole(block) for the blocks the stretch covers entirely and part(block, slot) for
    // each sample of the blocks it covers in part.
    template<class Whole, class Part>
    void forStretch(int first, int last, Whole whole, Part part) const;

    std::vector<std::unique_ptr<Block>> m_blocks;
    int m_count = 0;
    ReadingSummary m_total;
    // Function name and unit text pairs of the hover labels, by index.
    QVector<QPair<QString, QString>> m_pieces;
    QHash<QPair<QString, QString>, quint16> m_pieceIndex;
    int m_lastPieces = kWholePoint; // the index internPieces handed out last
    // Samples kept whole, by index.
    QHash<int, ChartPoint> m_whole;
    // The label time text of the second last asked for, reused by the samples of that second.
    qint64 m_cachedSecond = 0;
    QString m_cachedTimeText;
};

template<class Visit> void ChartPointStore::forEachValue(int first, int last, Visit visit) const
{
    first = qMax(first, 0);
    last = qMin(last, m_count - 1);
    while (first <= last) {
        const Block &b = block(first);
        const int offset = first % kBlockSize;
        const int end = qMin(kBlockSize, offset + (last - first + 1));
        for (int i = offset; i < end; ++i)
            visit(b.values[i]);
        first += end - offset;
    }
}

template<class Whole, class Part>
void ChartPointStore::forStretch(int first, int last, Whole whole, Part part) const
{
    first = qMax(first, 0);
    last = qMin(last, m_count - 1);
    while (first <= last) {
        const Block &b = block(first);
        const int offset = first % kBlockSize;
        const int stored = qMin(kBlockSize, m_count - (first - offset));
        const int end = qMin(stored, offset + (last - first + 1));
        if (offset == 0 && end == stored) {
            whole(b);
        } else {
            for (int i = offset; i < end; ++i)
                part(b, i);
        }
        first += end - offset;
    }
}

template<class Visit> void ChartPointStore::forEachAlarm(int first, int last, Visit visit) const
{
    first = qMax(first, 0);
    last = qMin(last, m_count - 1);
    while (first <= last) {
        const Block &b = block(first);
        const int offset = first % kBlockSize;
        const int end = qMin(kBlockSize, offset + (last - first + 1));
        // Most blocks hold no alarm at all and are passed over whole.
        if (b.summary.alarms() > 0) {
            for (int i = offset; i < end; ++i) {
                if (b.marks[i] & kAlarmMark)
                    visit(first - offset + i);
            }
        }
        first += end - offset;
    }
}
