#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

// Tells when an open link has brought no reply from the meter for a while (switched off, in a
// mode that does not talk, or another device on the port), and when replies come again. A reply
// costs one reading of the monotonic clock; the timer runs once per time-out.
class SilenceWatch : public QObject
{
    Q_OBJECT
public:
    static constexpr int kDefaultTimeoutMs = 5000;

    explicit SilenceWatch(QObject *parent = nullptr);

    // Applies from the next start() on.
    void setTimeout(int ms) { m_timeoutMs = qMax(1, ms); }
    int timeout() const { return m_timeoutMs; }

    // A link has opened: the time-out counts from now.
    void start();
    // The link has closed: nothing more is reported, and the next start() begins afresh.
    void stop();
    // A reply from the meter has arrived.
    void replied();
    bool isSilent() const { return m_silent; }

signals:
    // No reply for the time-out since the start or the last reply.
    void silent();
    // The first reply after silent().
    void answering();

private:
    void check();

    QTimer m_timer;
    QElapsedTimer m_sinceReply;
    int m_timeoutMs = kDefaultTimeoutMs;
    bool m_silent = false;
};
