// Fuzz target: the driver's receive path. Bytes arrive in chunks of any size through
// MyDmm::slotSerialDeviceRead; the frames the driver logs and the readings it emits are checked
// against the byte stream. One input byte chooses the meter model and whether the stream is the
// rest of the input or frames around payloads from it; the chunks are cut at points the input
// seeds.

#include "meter/frame.h"
#include "meter/mydmm.h"
#include "tests/fuzz/fuzzsupport.h"

#include <QLoggingCategory>
#include <QRandomGenerator>
#include <fuzzer/FuzzedDataProvider.h>

#include <memory>
#include <vector>

using namespace reply;

namespace {

constexpr int kMaxChunk = 64;

// The driver logs every frame it cuts out: the record of what it delivered for this input.
std::vector<QByteArray> delivered;

void collectFrames(QtMsgType, const QMessageLogContext &context, const QString &message)
{
    if (qstrcmp(context.category, "klm704.frames") == 0)
        delivered.push_back(QByteArray::fromHex(message.toLatin1()));
}

// The size of the whole frame with a matching checksum at offset, or 0.
int validFrameAt(const QByteArray &stream, int offset)
{
    const int available = stream.size() - offset;
    if (available < 3 || byteAt(stream, offset) != 0xAB || byteAt(stream, offset + 1) != 0xCD)
        return 0;
    const int length = byteAt(stream, offset + kLength);
    if (length < 3 || available < length + 3)
        return 0;
    const int sent = byteAt(stream, offset + length + 1) << 8 | byteAt(stream, offset + length + 2);
    return frame::checksum(stream.constData() + offset, length + 1) == sent ? length + 3 : 0;
}

// Nothing valid is lost: a valid frame that overlaps no other valid frame cannot be mistaken
// for garbage, whatever the chunking, so it is delivered.
void checkIsolatedFramesWereDelivered(const QByteArray &stream)
{
    std::vector<std::pair<int, int>> spans; // start and end of each valid frame, by start
    for (int offset = 0; offset < stream.size(); ++offset)
        if (const int size = validFrameAt(stream, offset))
            spans.push_back({offset, offset + size});
    size_t found = 0; // of the isolated frames, in order among the delivered ones
    int furthestEnd = 0;
    for (size_t i = 0; i < spans.size(); ++i) {
        const auto [start, end] = spans[i];
        if (furthestEnd <= start && (i + 1 == spans.size() || spans[i + 1].first >= end)) {
            const QByteArray isolated = stream.mid(start, end - start);
            while (found < delivered.size() && delivered[found] != isolated)
                ++found;
            check(found++ < delivered.size(), "a valid frame on its own was not delivered");
        }
        furthestEnd = std::max(furthestEnd, end);
    }
}

// Delivered frames are valid and taken from the stream in order without overlap; with SampleRate
// 0 every delivered reply of known codes is one reading, in order.
void checkDelivered(const QByteArray &stream,
                    const std::vector<std::unique_ptr<const DmmData>> &readings,
                    const FunctionTable &table)
{
    size_t next = 0;
    int from = 0;
    for (const QByteArray &frame : delivered) {
        check(validFrameAt(frame, 0) == frame.size(), "delivered frame is not valid");
        from = stream.indexOf(frame, from);
        check(from >= 0, "delivered frame is not in the stream in order");
        from += frame.size();
        if (byteAt(frame, kLength) < kReadingLength ||
            !findEntry(table, byteAt(frame, kFunction), byteAt(frame, kRange)))
            continue;
        check(next < readings.size(), "a reply gave no reading");
        checkReading(*readings[next++], frame, table);
    }
    check(next == readings.size(), "more readings than replies");
}

// The input's bytes as they are, or whole frames around payloads taken from the input.
QByteArray streamFrom(FuzzedDataProvider &input, bool framed)
{
    if (!framed)
        return QByteArray::fromStdString(input.ConsumeRemainingBytesAsString());
    QByteArray stream;
    while (input.remaining_bytes() > 0 && stream.size() < kMaxChunk * 256) {
        const size_t size = input.ConsumeIntegralInRange<size_t>(1, 253);
        stream.append(frame::build(QByteArray::fromStdString(input.ConsumeBytesAsString(size))));
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
    delivered.clear();
    MyDmm dmm(nullptr);
    dmm.setModel((choice & 1) ? QStringLiteral("VX310E") : QStringLiteral("VX310A"));
    dmm.setSampleRate(0);
    std::vector<std::unique_ptr<const DmmData>> readings;
    QObject::connect(&dmm, &Dmm::display,
                     [&readings](const DmmData *reading) { readings.emplace_back(reading); });

    QRandomGenerator cuts(input.ConsumeIntegral<quint32>());
    const QByteArray stream = streamFrom(input, choice & 2);
    for (int offset = 0, size = 0; offset < stream.size(); offset += size) {
        size = 1 + int(cuts.bounded(quint32(kMaxChunk)));
        const QByteArray chunk = stream.mid(offset, size); // its own block: overreads show
        dmm.slotSerialDeviceRead(reinterpret_cast<const uint8_t *>(chunk.constData()),
                                 chunk.size());
    }
    checkDelivered(stream, readings, dmm.activeTable());
    checkIsolatedFramesWereDelivered(stream);
    check(delivered.empty() || dmm.lastFrame() == delivered.back(), "last frame");
    return 0;
}
