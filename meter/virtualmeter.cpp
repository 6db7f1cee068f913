#include "meter/virtualmeter.h"

#include "meter/frame.h"
#include "meter/meterkeys.h"

#include <algorithm>

namespace {

// A command frame carries one code byte: header, length 3, code, checksum.
constexpr int kCommandFrameSize = 6;
// At most this many cuts split one answer into chunks.
constexpr int kMaxCuts = 3;
// Chunks due this close together leave with the same timer tick.
constexpr qint64 kDeliverySlackMicroseconds = 500;
// Content bytes of a full-length frame: the length byte 16 minus the two checksum bytes.
constexpr int kFullContentSize = 14;

} // namespace

VirtualMeter::VirtualMeter(quint32 seed, QObject *parent)
    : QObject(parent)
    , m_state(seed)
    , m_random(seed ^ 0x9E3779B9u)
{
    m_clock.start();
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &VirtualMeter::deliverDue);
}

void VirtualMeter::receive(const QByteArray &bytes)
{
    if (!m_pluggedIn)
        return;
    // The bytes cross the 9600-baud line from the PC one after the other, after those still on
    // it; a command is complete when its last byte is in.
    const qint64 arriving = std::max(now(), m_inboundFreeAt);
    const double byteTime = kByteMicroseconds * m_timeScale;
    const int earlier = m_received.size();
    m_received.append(bytes);
    m_inboundFreeAt = arriving + qint64(bytes.size() * byteTime);
    int offset = 0;
    for (QByteArray command = frame::extract(m_received, offset); !command.isEmpty();
         command = frame::extract(m_received, offset)) {
        const qint64 complete = arriving + qint64(std::max(0, offset - earlier) * byteTime);
        if (command.size() == kCommandFrameSize)
            handleCommand(quint8(command.at(3)), complete);
    }
    m_received.remove(0, offset);
}

void VirtualMeter::handleCommand(quint8 code, qint64 completeAt)
{
    // The meter pauses before it answers.
    const qint64 answerAt = completeAt + qint64(kAnswerDelayMicroseconds * m_timeScale);
    if (code == meterkeys::kPoll) {
        answerPoll(answerAt);
    } else if (m_state.pressKey(code)) {
        if (takeDrop())
            return;
        ++m_acksSent;
        transmit(acknowledgement(code), answerAt);
    }
    // A code the meter has no key for goes unanswered.
}

// A dropped answer: the meter acted on the command, but its answer never reaches the PC.
bool VirtualMeter::takeDrop()
{
    if (m_dropCount <= 0)
        return false;
    --m_dropCount;
    ++m_dropped;
    return true;
}

void VirtualMeter::answerPoll(qint64 answerAt)
{
    const QByteArray content = m_state.sampleReply();
    if (takeDrop())
        return;
    QByteArray reply = frame::build(content);
    const bool intact = m_corruptCount <= 0;
    if (!intact) {
        --m_corruptCount;
        reply[reply.size() - 1] = char(~reply.at(reply.size() - 1));
    }
    ++m_repliesSent;
    log(content, intact);
    transmit(reply, answerAt);
}

QByteArray VirtualMeter::acknowledgement(quint8 key) const
{
    if (m_ackStyle == AckStyle::Short)
        return frame::build(QByteArray(1, char(kAckCode)));
    QByteArray content(kFullContentSize, '\0');
    content[0] = char(kAckCode);
    content[1] = char(key);
    return frame::build(content);
}

void VirtualMeter::log(const QByteArray &content, bool intact)
{
    m_log.append({quint8(content.at(0)), quint8(content.at(1)), content.mid(2, 7), intact});
    while (m_log.size() > m_logLimit)
        m_log.removeFirst();
}

void VirtualMeter::injectNoise(int count)
{
    QByteArray noise;
    for (int i = 0; i < count; ++i)
        noise.append(char(m_random.bounded(256)));
    if (!noise.isEmpty() && m_pluggedIn)
        transmit(noise, now());
}

void VirtualMeter::unplug()
{
    discardPendingOutput();
    m_pluggedIn = false;
    emit unplugged();
}

void VirtualMeter::discardPendingOutput()
{
    m_pending.clear();
    m_timer.stop();
    m_received.clear();
    m_lineFreeAt = 0;
    m_inboundFreeAt = 0;
}

// The line sends one byte after the other: an answer starts when it is due, or when the
// previous answer has left, and each chunk is delivered when its last byte has arrived.
void VirtualMeter::transmit(const QByteArray &bytes, qint64 dueAt)
{
    const qint64 start = std::max(dueAt, m_lineFreeAt);
    const double byteTime = kByteMicroseconds * m_timeScale;
    int from = 0;
    for (int end : cutPoints(bytes.size())) {
        m_pending.push_back({start + qint64(end * byteTime), bytes.mid(from, end - from)});
        from = end;
    }
    m_lineFreeAt = start + qint64(bytes.size() * byteTime);
    scheduleNext();
}

// The ends of the chunks, ascending, the last one being size.
QList<int> VirtualMeter::cutPoints(int size)
{
    QList<int> ends;
    if (m_chunking && size > 1) {
        const int cuts = int(m_random.bounded(kMaxCuts + 1));
        for (int i = 0; i < cuts; ++i)
            ends.append(1 + int(m_random.bounded(size - 1)));
        std::sort(ends.begin(), ends.end());
        ends.erase(std::unique(ends.begin(), ends.end()), ends.end());
    }
    ends.append(size);
    return ends;
}

void VirtualMeter::scheduleNext()
{
    if (m_pending.empty()) {
        m_timer.stop();
        return;
    }
    const qint64 wait = m_pending.front().dueMicroseconds - now();
    m_timer.start(int(std::max<qint64>(0, (wait + 999) / 1000)));
}

void VirtualMeter::deliverDue()
{
    const qint64 due = now() + kDeliverySlackMicroseconds;
    while (!m_pending.empty() && m_pending.front().dueMicroseconds <= due) {
        const QByteArray bytes = m_pending.front().bytes;
        m_pending.pop_front();
        emit transmitted(bytes);
    }
    scheduleNext();
}
