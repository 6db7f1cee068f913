#pragma once

#include "record/chartpoint.h"
#include "record/readingsummary.h"

#include <QHash>
#include <QVector>
#include <limits>
#include <memory>
#include <vector>

// The readings of a recording, kept compactly so that two weeks at full rate fit: each costs 23
// bytes (time in ms from its block's base, value, up to seven Latin-1 characters of value text,
// an index into the interned function, range and unit texts, and its marks). The record table and
// the chart read the same store. Storage grows in fixed blocks, so appending never copies what is
// already there, and every block remembers the range of its values and the summary of its readings,
// so the range or the figures of any stretch take one pass over the blocks and at most two partial
// blocks. Samples that do not fit that form (another time zone, an unusual label, a long value
// text) are kept whole.
class ReadingStore
{
public:
    static constexpr int kBlockSize = 4096;
    // The instant of a reading without time stamp.
    static constexpr qint64 kNoTime = std::numeric_limits<qint64>::min();

    // Lowest and highest finite value of a stretch; valid is false when it has none.
    struct Range
    {
        bool valid = false;
        double min = 0;
        double max = 0;
    };

    // The texts a reading shares with the others of its function and range.
    struct Pieces
    {
        QString functionName;
        QString rangeText;
        QString unitText;
        bool operator==(const Pieces &other) const;
    };

    ReadingStore();
    ~ReadingStore();
    ReadingStore(const ReadingStore &) = delete;
    ReadingStore &operator=(const ReadingStore &) = delete;

    // Appends a chart sample; the table texts of a sample appended this way are empty.
    void append(const ChartPoint &point);
    // Appends a reading at the local instant msecs (kNoTime: none), with the hover label
    // ChartPoint::makeLabel makes for it, without building that label; overload, resolution and
    // alarm as the ChartPoint's.
    void append(qint64 msecs, double value, const QString &valueText, const Pieces &pieces,
                bool overload = false, int resolution = ReadingSummary::kNoResolution,
                bool alarm = false);
    void clear();
    void swap(ReadingStore &other);
    // Removes count samples from first on.
    void remove(int first, int count);

    int count() const { return m_count; }
    // Changes whenever samples already stored change (cleared, removed, swapped); appending
    // leaves it as it is.
    quint64 generation() const { return m_generation; }
    double value(int index) const { return block(index).values[index % kBlockSize]; }
    qint64 msecs(int index) const;
    QDateTime time(int index) const;
    QString valueText(int index) const;
    const Pieces &pieces(int index) const;
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
    // A time is kept as the milliseconds from its block's base, which lies this far before the
    // block's first time, so that the block holds times some 24 days either side of that.
    static constexpr qint64 kTimeSlack = qint64(1) << 31;
    static constexpr quint32 kNoTimeOffset = 0xFFFFFFFF;

    struct Block
    {
        double values[kBlockSize];
        quint32 times[kBlockSize];
        char texts[kBlockSize][kTextBytes];
        quint16 pieces[kBlockSize];
        quint8 marks[kBlockSize];
        qint64 timeBase = kNoTime;
        Range range;
        ReadingSummary summary;
    };

    // A sample kept whole, with the table texts of a reading.
    struct WholeSample
    {
        ChartPoint point;
        Pieces pieces;
    };

    const Block &block(int index) const { return *m_blocks[size_t(index / kBlockSize)]; }
    // The block for the next sample, with its value and marks stored and summed up, and its time
    // stored if the block can hold it (timeFits).
    Block &nextBlock(qint64 msecs, double value, quint8 marks, bool *timeFits);
    void appendCopy(const ReadingStore &source, int index);
    bool packText(const QString &text, char *bytes) const;
    bool splitLabel(const ChartPoint &point, QString *functionName, QString *unitText);
    const QString &labelTimeText(qint64 msecs, const QDateTime &time);
    quint16 internPieces(const Pieces &pieces);
    void renew();
    static void widen(Range &range, double value);
    static quint8 packMarks(bool overload, bool alarm, int resolution);
    static void addSample(ReadingSummary &summary, double value, quint8 marks);
    // Calls visit(block, offset, end, start) for each block that samples first ... last (clipped
    // to the stored samples) touch: its slots offset ... end - 1 lie in the stretch, and start is
    // the index of its slot 0.
    template<class Visit> void forBlocks(int first, int last, Visit visit) const;
    // Calls whole(block) for the blocks the stretch covers entirely and part(block, slot) for
    // each sample of the blocks it covers in part.
    template<class Whole, class Part>
    void forStretch(int first, int last, Whole whole, Part part) const;

    std::vector<std::unique_ptr<Block>> m_blocks;
    int m_count = 0;
    quint64 m_generation = 0;
    ReadingSummary m_total;
    // Function, range and unit texts of the readings, by index.
    QVector<Pieces> m_pieces;
    QHash<Pieces, quint16> m_pieceIndex;
    int m_lastPieces = kWholePoint; // the index internPieces handed out last
    // Samples kept whole, by index.
    QHash<int, WholeSample> m_whole;
    // The label time text of the second last asked for, reused by the samples of that second.
    qint64 m_cachedSecond = 0;
    QString m_cachedTimeText;
};

uint qHash(const ReadingStore::Pieces &pieces, uint seed = 0);

template<class Visit> void ReadingStore::forBlocks(int first, int last, Visit visit) const
{
    first = qMax(first, 0);
    last = qMin(last, m_count - 1);
    while (first <= last) {
        const int offset = first % kBlockSize;
        const int end = qMin(kBlockSize, offset + (last - first + 1));
        visit(block(first), offset, end, first - offset);
        first += end - offset;
    }
}

template<class Visit> void ReadingStore::forEachValue(int first, int last, Visit visit) const
{
    forBlocks(first, last, [&visit](const Block &b, int offset, int end, int) {
        for (int i = offset; i < end; ++i)
            visit(b.values[i]);
    });
}

template<class Whole, class Part>
void ReadingStore::forStretch(int first, int last, Whole whole, Part part) const
{
    forBlocks(first, last, [&](const Block &b, int offset, int end, int start) {
        if (offset == 0 && end == qMin(kBlockSize, m_count - start)) {
            whole(b);
        } else {
            for (int i = offset; i < end; ++i)
                part(b, i);
        }
    });
}

template<class Visit> void ReadingStore::forEachAlarm(int first, int last, Visit visit) const
{
    forBlocks(first, last, [&visit](const Block &b, int offset, int end, int start) {
        // Most blocks hold no alarm at all and are passed over whole.
        if (b.summary.alarms() == 0)
            return;
        for (int i = offset; i < end; ++i) {
            if (b.marks[i] & kAlarmMark)
                visit(start + i);
        }
    });
}
