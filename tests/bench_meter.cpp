// Throughput of the receive path: frames cut from received chunks, decoded into readings and
// emitted, as the driver does it for a meter that answers as fast as it can. Prints figures;
// run it from a Release or RelWithDebInfo build.

#include "meter/dmmdata.h"
#include "meter/frame.h"
#include "meter/mydmm.h"
#include "replyframe.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>
#include <cstdio>
#include <memory>

namespace {

constexpr int kFramesPerChunk = 64;
constexpr int kChunks = 40000;

QByteArray chunkOfFrames()
{
    QByteArray chunk;
    for (int i = 0; i < kFramesPerChunk; ++i)
        chunk += replyFrame(quint8(i % 24), 0x30, i % 2 ? " -1.234" : "  56.78", 0x02, 0x04, 0);
    return chunk;
}

void report(const char *what, qint64 frames, qint64 nanoseconds)
{
    std::printf("%-42s %10.0f frames/s  %7.1f ns/frame\n", what,
                double(frames) * 1e9 / double(nanoseconds), double(nanoseconds) / double(frames));
}

void benchExtract(const QByteArray &chunk)
{
    QElapsedTimer timer;
    timer.start();
    qint64 frames = 0;
    for (int c = 0; c < kChunks; ++c) {
        int offset = 0;
        while (!frame::extract(chunk, offset).isEmpty())
            ++frames;
    }
    report("frame::extract", frames, timer.nsecsElapsed());
}

void benchDecode(const QByteArray &chunk)
{
    MyDmm dmm(nullptr);
    QList<QByteArray> frames;
    int offset = 0;
    for (QByteArray next = frame::extract(chunk, offset); !next.isEmpty();
         next = frame::extract(chunk, offset))
        frames.append(next);
    QElapsedTimer timer;
    timer.start();
    qint64 decoded = 0;
    for (int c = 0; c < kChunks; ++c) {
        for (const QByteArray &next : frames) {
            std::unique_ptr<DmmData> reading(dmm.decode(next));
            decoded += reading ? 1 : 0;
        }
    }
    report("MyDmm::decode", decoded, timer.nsecsElapsed());
}

void benchReceivePath(const QByteArray &chunk, int chunkSize)
{
    MyDmm dmm(nullptr);
    dmm.setSampleRate(0);
    qint64 readings = 0;
    QObject::connect(&dmm, &Dmm::display, [&readings](const DmmData *data) {
        ++readings;
        delete data;
    });
    const auto *bytes = reinterpret_cast<const uint8_t *>(chunk.constData());
    QElapsedTimer timer;
    timer.start();
    for (int c = 0; c < kChunks; ++c) {
        for (int at = 0; at < chunk.size(); at += chunkSize)
            dmm.slotSerialDeviceRead(bytes + at, qMin(chunkSize, chunk.size() - at));
    }
    const QByteArray label = "slotSerialDeviceRead, chunks of " + QByteArray::number(chunkSize);
    report(label.constData(), readings, timer.nsecsElapsed());
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QByteArray chunk = chunkOfFrames();
    std::printf("%d chunks of %d reply frames (%d bytes each)\n", kChunks, kFramesPerChunk,
                int(chunk.size()));
    benchExtract(chunk);
    benchDecode(chunk);
    benchReceivePath(chunk, chunk.size());
    benchReceivePath(chunk, 19);
    benchReceivePath(chunk, 7);
    return 0;
}
