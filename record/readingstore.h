#pragma once

#include "record/chartpoint.h"
#include "record/limitalarm.h"
#include "record/readingsummary.h"

#include <QHash>
#include <QVector>
#include <array>
#include <chrono>
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
// text) are kept whole. Whether a reading was outside the limits is one bit of a block's alarm
// bitmap, so that the alarms of a stretch are found word by word, and all readings can be marked
// anew against other limits.
class ReadingStore
{
public:
    using Clock = std::chrono::steady_clock;
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
    // ChartPoint::makeLabel makes for it, without building that label; overload is the sign of an
    // overload (0: none), resolution and alarm as the ChartPoint's.
    void append(qint64 msecs, double value, const QString &valueText, const Pieces &pieces,
                int overload = 0, int resolution = ReadingSummary::kNoResolution,
                bool alarm = false);
    void clear();
    void swap(ReadingStore &other);
    // Removes count samples from first on.
    void remove(int first, int count);
    // The samples stored now, as they are: another thread may read their times, texts and values
    // while this store goes on (appending, clearing, removing) on its own thread, since stored
    // samples are never written again and their blocks live as long as a snapshot holds them.
    std::unique_ptr<const ReadingStore> snapshot() const;

    int count() const { return m_count; }
    // Changes whenever samples already stored change (cleared, removed, swapped); appending
    // leaves it as it is.
    quint64 generation() const { return m_generation; }
    double value(int index) const { return block(index).values[index % kBlockSize]; }
    qint64 msecs(int index) const;
    QDateTime time(int index) const;
    QString valueText(int index) const;
    // The value text as stored packed, in Latin-1; a null view for a sample kept whole, whose
    // text only valueText() gives.
    QLatin1String packedValueText(int index) const;
    const Pieces &pieces(int index) const;
    QVariant label(int index) const;
    ChartPoint point(int index) const;

    // Range of the values of samples first ... last (clipped to the stored samples).
    Range valueRange(int first, int last) const;

    // Figures of samples first ... last (clipped to the stored samples), and of all of them.
    ReadingSummary summary(int first, int last) const;
    ReadingSummary total() const;
    bool isAlarm(int index) const;
    // The first sample outside the limits among from ... last, or -1.
    int nextAlarm(int from, int last) const;

    // Marks every reading anew as inside or outside limits (an overload by its sign), in steps:
    // startMarking() once, then continueMarking() until it returns true, each call working until
    // the clock passes deadline. The readings keep their marks until that last call, which gives
    // all of them, the blocks' figures and the total their new ones at once. Readings appended
    // meanwhile are marked by whoever appends them (against the new limits) and anew at the end.
    void startMarking(const LimitAlarm &limits);
    bool continueMarking(Clock::time_point deadline);
    bool isMarking() const { return m_marking != nullptr; }

    // Calls visit(value) for samples first ... last in order (clipped to the stored samples).
    template<class Visit> void forEachValue(int first, int last, Visit visit) const;

private:
    static constexpr quint16 kWholePoint = 0xFFFF;
    static constexpr int kTextBytes = 8; // seven characters and their count
    static constexpr int kAlarmWords = kBlockSize / 64;
    // A sample's marks: overload, a negative one, and its display step's exponent offset by
    // kStepBias.
    static constexpr quint8 kOverloadMark = 1;
    static constexpr quint8 kNegativeMark = 2;
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
        quint64 alarms[kAlarmWords] = {}; // bit i % 64 of word i / 64: sample i was outside
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

    // The new alarm bits of the blocks marked so far against other limits.
    struct Marking
    {
        LimitAlarm limits;
        std::vector<std::array<quint64, kAlarmWords>> alarms;
        std::vector<int> counts;
    };

    const Block &block(int index) const { return *m_blocks[size_t(index / kBlockSize)]; }
    // The block for the next sample, with its value, marks and alarm stored and summed up, and its
    // time stored if the block can hold it (timeFits).
    Block &nextBlock(qint64 msecs, double value, quint8 marks, bool alarm, bool *timeFits);
    void appendCopy(const ReadingStore &source, int index);
    bool packText(const QString &text, char *bytes) const;
    bool splitLabel(const ChartPoint &point, QString *functionName, QString *unitText);
    const QString &labelTimeText(qint64 msecs, const QDateTime &time);
    quint16 internPieces(const Pieces &pieces);
    void renew();
    static void widen(Range &range, double value);
    static quint8 packMarks(int overload, int resolution);
    static void addSample(ReadingSummary &summary, double value, quint8 marks, bool alarm);
    static bool alarmBit(const Block &b, int slot) { return b.alarms[slot / 64] >> slot % 64 & 1; }
    // The new alarm bits of the first count samples of a block, and how many are set.
    static int markBlock(const Block &b, int count, const LimitAlarm &limits, quint64 *alarms);
    void finishMarking();
    // Calls visit(block, offset, end, start) for each block that samples first ... last (clipped
    // to the stored samples) touch: its slots offset ... end - 1 lie in the stretch, and start is
    // the index of its slot 0.
    template<class Visit> void forBlocks(int first, int last, Visit visit) const;
    // Calls whole(block) for the blocks the stretch covers entirely and part(block, slot) for
    // each sample of the blocks it covers in part.
    template<class Whole, class Part>
    void forStretch(int first, int last, Whole whole, Part part) const;

    std::vector<std::shared_ptr<Block>> m_blocks;
    std::unique_ptr<Marking> m_marking;
    int m_count = 0;
    quint64 m_generation = 0;
    // The figures of every block but the last, which keeps its own: a sample is summed up once.
    ReadingSummary m_finished;
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
