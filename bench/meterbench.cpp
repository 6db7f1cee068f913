#include "bench/meterbench.h"

#include "bench/bench.h"
#include "meter/dmmdata.h"
#include "meter/frame.h"
#include "meter/mydmm.h"
#include "tests/replyframe.h"

#include <QLoggingCategory>
#include <memory>

namespace {

constexpr int kFramesPerChunk = 64;
constexpr int kChunks = 20000;
constexpr qint64 kFrames = qint64(kFramesPerChunk) * kChunks;

// 64 reply frames of assorted functions, as a meter answering as fast as it can would send them.
QByteArray chunkOfFrames()
{
    QByteArray chunk;
    for (int i = 0; i < kFramesPerChunk; ++i)
        chunk += replyFrame(quint8(i % 24), 0x30, i % 2 ? " -1.234" : "  56.78", 0x02, 0x04, 0);
    return chunk;
}

double framesPerSecond(double milliseconds)
{
    return double(kFrames) * 1000.0 / milliseconds;
}

void benchExtract(Bench &bench, const QByteArray &chunk)
{
    const double ms = Bench::bestMilliseconds(3, [&chunk] {
        for (int c = 0; c < kChunks; ++c) {
            int offset = 0;
            while (!frame::extract(chunk, offset).isEmpty()) {
            }
        }
    });
    bench.report(QStringLiteral("frame_extract_frames_per_s"), framesPerSecond(ms),
                 QStringLiteral("frames/s"));
}

void benchDecode(Bench &bench, const QByteArray &chunk)
{
    MyDmm dmm(nullptr);
    QList<QByteArray> frames;
    int offset = 0;
    for (QByteArray next = frame::extract(chunk, offset); !next.isEmpty();
         next = frame::extract(chunk, offset))
        frames.append(next);
    const double ms = Bench::bestMilliseconds(3, [&] {
        for (int c = 0; c < kChunks; ++c) {
            for (const QByteArray &next : qAsConst(frames))
                std::unique_ptr<DmmData> reading(dmm.decode(next));
        }
    });
    bench.report(QStringLiteral("decode_only_frames_per_s"), framesPerSecond(ms),
                 QStringLiteral("frames/s"));
}

// The whole receive path: chunks of the size a bridge delivers, framing, checksum, reply
// matching, decoding and the display signal.
void benchReceivePath(Bench &bench, const QByteArray &chunk, int chunkSize)
{
    MyDmm dmm(nullptr);
    dmm.setSampleRate(0);
    qint64 readings = 0;
    QObject::connect(&dmm, &Dmm::display, [&readings](const DmmData *data) {
        ++readings;
        delete data;
    });
    const auto *bytes = reinterpret_cast<const uint8_t *>(chunk.constData());
    const double ms = Bench::bestMilliseconds(3, [&] {
        for (int c = 0; c < kChunks; ++c) {
            for (int at = 0; at < chunk.size(); at += chunkSize)
                dmm.slotSerialDeviceRead(bytes + at, qMin(chunkSize, chunk.size() - at));
        }
    });
    if (readings != 3 * kFrames)
        bench.report(QStringLiteral("decode_readings_lost"), double(3 * kFrames - readings),
                     QStringLiteral("readings"));
    bench.report(QStringLiteral("decode_frames_per_s"), framesPerSecond(ms),
                 QStringLiteral("frames/s"));
}

} // namespace

void runMeterBenchmarks(Bench &bench)
{
    // The per-frame diagnostics would measure the log, not the receive path.
    QLoggingCategory::setFilterRules(QStringLiteral("klm704.*=false"));
    const QByteArray chunk = chunkOfFrames();
    benchExtract(bench, chunk);
    benchDecode(bench, chunk);
    benchReceivePath(bench, chunk, 19);
}
