#pragma once

#include "meter/linksettings.h"
#include "meter/virtualmeterstate.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QRandomGenerator>
#include <QTimer>
#include <deque>

// The meter side of the protocol, run in process. It takes the bytes of command frames in any
// chunks, answers every poll with a reply frame of its present reading and every key command
// with an acknowledgement, and keeps the timing of the meter's 9600-baud line: a command counts
// once its last byte is in (about 1.04 ms per byte), the answer starts after a short pause and
// takes as long per byte, and arrives cut into chunks at random points. Tests shorten its
// timing with setTimeScale and inject faults: noise, bad checksums, lost replies, an unplug.
//
// An acknowledgement is by default a full-length frame (L = 16, 19 bytes) with 0xFF in byte 3,
// the acknowledged key code in byte 4 and zeros after it; AckStyle::Short sends the six-byte
// frame AB CD 03 FF 02 7A instead, which a driver must accept as well.
class VirtualMeter : public QObject
{
    Q_OBJECT
public:
    enum class AckStyle
    {
        Full,
        Short
    };

    // One reply to a poll, as the meter sent it; intact is false when its checksum was spoiled.
    struct SentReply
    {
        quint8 function;
        quint8 range;
        QByteArray text;
        bool intact;
    };

    static constexpr quint8 kAckCode = 0xFF;
    // A byte on the wire: start bit, eight data bits, stop bit.
    static constexpr double kByteMicroseconds = 1e6 * 10 / kMeterBaudrate;
    // The meter's pause between the end of a command and the start of its answer.
    static constexpr double kAnswerDelayMicroseconds = 15000;
    // How many replies the log keeps (the counters go on counting).
    static constexpr int kDefaultLogLimit = 100000;

    explicit VirtualMeter(quint32 seed, QObject *parent = nullptr);

    // The panel: function, range, key modes and the simulated input.
    VirtualMeterState &state() { return m_state; }
    const VirtualMeterState &state() const { return m_state; }

    // Bytes from the PC. Ignored while unplugged.
    void receive(const QByteArray &bytes);
    // Forgets what is still on its way, as when the port is closed.
    void discardPendingOutput();

    // 1 is real time, 0.01 a hundred times faster, 0 instant (the next pass of the event loop).
    void setTimeScale(double scale) { m_timeScale = std::max(0.0, scale); }
    double timeScale() const { return m_timeScale; }
    // Cuts answers into chunks at random points; on by default. Off, each arrives whole.
    void setChunking(bool on) { m_chunking = on; }
    void setAckStyle(AckStyle style) { m_ackStyle = style; }

    // Faults. Random bytes on the line now; the next count replies to polls with a wrong
    // checksum; the next count commands of any kind left unanswered.
    void injectNoise(int count);
    void corruptNextReplies(int count) { m_corruptCount += count; }
    void dropNextReplies(int count) { m_dropCount += count; }
    // Pulls the cable: pending output is lost, unplugged() is emitted, commands are ignored
    // until plugIn().
    void unplug();
    void plugIn() { m_pluggedIn = true; }
    bool isPluggedIn() const { return m_pluggedIn; }

    // The replies to polls it sent, oldest first (at most the log limit).
    QList<SentReply> sentReplies() const { return m_log; }
    void setLogLimit(int entries) { m_logLimit = std::max(0, entries); }
    int repliesSent() const { return m_repliesSent; }
    int acknowledgementsSent() const { return m_acksSent; }
    int commandsDropped() const { return m_dropped; }

signals:
    // Bytes the meter put on the line.
    void transmitted(const QByteArray &bytes);
    void unplugged();

private:
    struct Chunk
    {
        qint64 dueMicroseconds;
        QByteArray bytes;
    };

    // Acts on a command whose last byte came in at completeAt (microseconds of the clock).
    void handleCommand(quint8 code, qint64 completeAt);
    bool takeDrop();
    void answerPoll(qint64 answerAt);
    QByteArray acknowledgement(quint8 key) const;
    void log(const QByteArray &content, bool intact);
    // Puts bytes on the line from dueAt on (microseconds of the clock), after what is on it.
    void transmit(const QByteArray &bytes, qint64 dueAt);
    QList<int> cutPoints(int size);
    qint64 now() const { return m_clock.nsecsElapsed() / 1000; }
    void scheduleNext();
    void deliverDue();

    VirtualMeterState m_state;
    QRandomGenerator m_random;
    QByteArray m_received;
    std::deque<Chunk> m_pending;
    QElapsedTimer m_clock;
    QTimer m_timer;
    qint64 m_lineFreeAt = 0;
    qint64 m_inboundFreeAt = 0; // when the last byte from the PC is in
    double m_timeScale = 1.0;
    bool m_chunking = true;
    AckStyle m_ackStyle = AckStyle::Full;
    bool m_pluggedIn = true;
    int m_corruptCount = 0;
    int m_dropCount = 0;

    QList<SentReply> m_log;
    int m_logLimit = kDefaultLogLimit;
    int m_repliesSent = 0;
    int m_acksSent = 0;
    int m_dropped = 0;
};
