// Fuzz target: the driver's receive path. Bytes arrive in chunks of any size through
// MyDmm::slotSerialDeviceRead; framing, checksum, decoding and the readings emitted are checked
// against what the byte stream holds.
//
// One input byte chooses the meter model (which function table decodes) and how the rest
// is read: as raw bytes cut into chunks by the input itself, or as a list of frame payloads
// that are framed, joined and cut at pseudo-random points.

#include "meter/dmmdata.h"
#include "meter/frame.h"
#include "meter/functionentry.h"
#include "meter/mydmm.h"
#include "tests/fuzz/fuzzsupport.h"

#include <QLoggingCategory>
#include <QRandomGenerator>
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace {

using namespace reply;

constexpr size_t kMaxChunk = 64;
constexpr size_t kMaxFrames = 64;

// The frames the driver logged while the current input was fed, in order.
std::vector<QByteArray> loggedFrames;

// The driver logs every frame it cuts out as hexadecimal pairs; those lines are the record
// of what it delivered.
void collectFrames(QtMsgType, const QMessageLogContext &context, const QString &message)
{
    if (qstrcmp(context.category, "klm704.frames") == 0)
        loggedFrames.push_back(QByteArray::fromHex(message.toLatin1()));
}

// A complete frame with a matching checksum starts at offset; its size, or 0.
int validFrameAt(const QByteArray &stream, int offset)
{
    const int available = stream.size() - offset;
    if (available < 3 || byteAt(stream, offset) != frame::kHeader0 ||
        byteAt(stream, offset + 1) != frame::kHeader1)
        return 0;
    const int length = byteAt(stream, offset + kLengthOffset);
    if (length < frame::kMinLength || available < length + 3)
        return 0;
    const quint16 sum = frame::checksum(stream.constData() + offset, length + 1);
    const quint16 sent =
        quint16(byteAt(stream, offset + length + 1) << 8 | byteAt(stream, offset + length + 2));
    return sum == sent ? length + 3 : 0;
}

struct Span
{
    int start;
    int size;
    bool overlaps(const Span &other) const
    {
        return start < other.start + other.size && other.start < start + size;
    }
};

std::vector<Span> validFramesIn(const QByteArray &stream)
{
    std::vector<Span> spans;
    for (int offset = 0; offset < stream.size(); ++offset) {
        if (const int size = validFrameAt(stream, offset))
            spans.push_back({offset, size});
    }
    return spans;
}

// True when needles occur in haystack in the same order (not necessarily next to each other).
bool isSubsequence(const std::vector<QByteArray> &needles, const std::vector<QByteArray> &haystack)
{
    size_t found = 0;
    for (const QByteArray &candidate : haystack) {
        if (found < needles.size() && candidate == needles[found])
            ++found;
    }
    return found == needles.size();
}

// What was delivered is real: valid frames, taken from the stream in order, never overlapping.
void checkDeliveredFramesCameFromStream(const QByteArray &stream)
{
    int searchFrom = 0;
    for (const QByteArray &delivered : loggedFrames) {
        check(validFrameAt(delivered, 0) == delivered.size(), "delivered frame is not valid");
        const int at = stream.indexOf(delivered, searchFrom);
        check(at >= 0, "delivered frame is not in the stream in order");
        searchFrom = at + delivered.size();
    }
}

// Nothing valid is lost: a valid frame that no other valid frame overlaps cannot be mistaken
// for garbage, whatever the chunking, so each of them must have been delivered.
void checkIsolatedFramesWereDelivered(const QByteArray &stream)
{
    const std::vector<Span> spans = validFramesIn(stream);
    std::vector<QByteArray> isolated;
    // The spans are in order of their start: one overlaps an earlier span when an earlier one
    // ends after its start, and a later span when the next one starts before its end.
    int furthestEnd = 0;
    for (size_t i = 0; i < spans.size(); ++i) {
        const Span &span = spans[i];
        const bool alone =
            furthestEnd <= span.start && (i + 1 == spans.size() || !span.overlaps(spans[i + 1]));
        if (alone)
            isolated.push_back(stream.mid(span.start, span.size));
        furthestEnd = std::max(furthestEnd, span.start + span.size);
    }
    check(isSubsequence(isolated, loggedFrames), "a valid frame on its own was not delivered");
}

void checkReading(const DmmData &reading, const FunctionTable &table, const QByteArray &frame)
{
    const FunctionEntry *entry = reading.entry();
    check(entry != nullptr, "reading without table row");
    check(findEntry(table, entry->functionCode(), entry->rangeCode()) == entry,
          "reading's row is not in the active table");
    check(entry->functionCode() == byteAt(frame, kFunctionOffset) &&
              entry->rangeCode() == byteAt(frame, kRangeOffset),
          "reading's row does not match the frame's codes");
    check(reading.valueText().size() == kDisplaySize, "value text is not seven characters");
    check(reading.valueText() == QLatin1String(frame.constData() + kDisplayOffset, kDisplaySize),
          "value text differs from the display bytes");
    check(reading.overload() >= -1 && reading.overload() <= 1, "overload out of range");
    check(std::isfinite(reading.value()), "value is not finite");
    check(reading.unitText() == entry->prefix() + entry->unit(), "unit text");
    check(reading.functionName().startsWith(entry->name()), "function name");
    check(!reading.rangeText().isEmpty(), "empty range text");
    check(reading.timestamp().isValid(), "no time stamp");
}

bool becomesReading(const QByteArray &frame, const FunctionTable &table)
{
    return byteAt(frame, kFunctionOffset) != kAcknowledge &&
           byteAt(frame, kLengthOffset) >= kReadingLength &&
           findEntry(table, byteAt(frame, kFunctionOffset), byteAt(frame, kRangeOffset));
}

// With SampleRate 0 every delivered reply whose codes are in the table is one reading, in order.
void checkReadings(const std::vector<std::unique_ptr<const DmmData>> &readings,
                   const FunctionTable &table)
{
    size_t next = 0;
    for (const QByteArray &frame : loggedFrames) {
        if (!becomesReading(frame, table))
            continue;
        check(next < readings.size(), "a reply gave no reading");
        checkReading(*readings[next++], table, frame);
    }
    check(next == readings.size(), "more readings than replies");
}

void feed(MyDmm &dmm, const QByteArray &bytes)
{
    dmm.slotSerialDeviceRead(reinterpret_cast<const uint8_t *>(bytes.constData()), bytes.size());
}

// Raw bytes, each chunk's size taken from the input.
QByteArray feedRawChunks(MyDmm &dmm, FuzzedDataProvider &input)
{
    QByteArray stream;
    while (input.remaining_bytes() > 0) {
        const size_t size = input.ConsumeIntegralInRange<size_t>(1, kMaxChunk);
        const std::vector<uint8_t> bytes = input.ConsumeBytes<uint8_t>(size);
        const QByteArray chunk(reinterpret_cast<const char *>(bytes.data()), int(bytes.size()));
        stream.append(chunk);
        feed(dmm, chunk);
    }
    return stream;
}

// Whole frames around payloads from the input, joined and cut at random points.
QByteArray feedFramedPayloads(MyDmm &dmm, FuzzedDataProvider &input)
{
    QRandomGenerator cuts(input.ConsumeIntegral<quint32>());
    QByteArray stream;
    while (input.remaining_bytes() > 0 && size_t(stream.size()) < kMaxFrames * 256) {
        const size_t size = input.ConsumeIntegralInRange<size_t>(1, 253);
        const std::string payload = input.ConsumeBytesAsString(size);
        stream.append(frame::build(QByteArray::fromStdString(payload)));
    }
    for (int offset = 0; offset < stream.size();) {
        const int size = 1 + int(cuts.bounded(quint32(kMaxChunk)));
        feed(dmm, stream.mid(offset, size));
        offset += size;
    }
    return stream;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    QLoggingCategory::setFilterRules(QStringLiteral("klm704.*=false\nklm704.frames.debug=true"));
    qInstallMessageHandler(collectFrames);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const uint8_t choice = input.ConsumeIntegral<uint8_t>();
    loggedFrames.clear();

    MyDmm dmm(nullptr);
    dmm.setModel((choice & 1) ? QStringLiteral("VX310E") : QStringLiteral("VX310A"));
    dmm.setSampleRate(0);
    std::vector<std::unique_ptr<const DmmData>> readings;
    QObject::connect(&dmm, &Dmm::display,
                     [&readings](const DmmData *data) { readings.emplace_back(data); });

    const QByteArray stream =
        (choice & 2) ? feedFramedPayloads(dmm, input) : feedRawChunks(dmm, input);

    checkDeliveredFramesCameFromStream(stream);
    checkIsolatedFramesWereDelivered(stream);
    checkReadings(readings, dmm.activeTable());
    if (!loggedFrames.empty())
        check(dmm.lastFrame() == loggedFrames.back(), "last frame differs from last delivered");
    return 0;
}
