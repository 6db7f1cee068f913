#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

class DeviceSelector;
class MyDmm;

// The cycle of one device link, the same for the window and the logger: opening it (with the
// link's reason when it cannot open), its loss (it closed without being asked to: the driver is
// closed as well, so that its command thread stops polling a dead link), opening it again every
// 2 s while asked to, the meter that stops answering, and closing it on request.
class LinkSupervisor : public QObject
{
    Q_OBJECT
public:
    enum class State
    {
        Closed,   // never opened, or closed on request
        Open,     // open, and the meter answers
        Silent,   // open, but the meter has not answered for a while
        Lost,     // closed by itself
        Retrying, // closed by itself, or never opened, and tried again every interval
    };

    static constexpr int kReconnectIntervalMs = 2000;

    // Neither is owned; both outlive the supervisor.
    LinkSupervisor(MyDmm *driver, DeviceSelector *link, QObject *parent = nullptr);

    // Opens the link on request; false when it cannot be opened, with failure() saying why.
    // Retries in progress go on after a failure.
    bool open();
    // Closes the link on request (Disconnect, the end of a run): no loss, and retries stop.
    void close();
    // Whether a lost link is opened again every interval; switching it off stops the retries.
    void setReconnect(bool on);
    // Tries to open a link that could not be opened, every interval, until it opens or close()
    // (the logger's --reconnect at the start of a run).
    void keepTrying();
    // While held (a recording is being read from a file), no retry is made.
    void setHeld(bool held) { m_held = held; }
    // Tests shorten the interval.
    void setReconnectInterval(int ms) { m_retryTimer.setInterval(ms); }

    State state() const { return m_state; }
    bool isOpen() const { return m_state == State::Open || m_state == State::Silent; }
    // Why the last try to open failed.
    QString failure() const { return m_failure; }
    // The state for the status bar: the device and what has become of its link.
    QString stateText() const;

    // The window's box for a link that cannot be opened, and the logger's message.
    static QString openFailedText();
    // What a meter that does not answer is told as.
    static QString silentText();

signals:
    void stateChanged(LinkSupervisor::State state);
    // The link has opened; reconnected: after it had been lost.
    void opened(bool reconnected);
    // The link closed by itself.
    void lost();
    // A try to open failed (on request or a retry); reason: the link's own.
    void openFailed(const QString &reason);

private:
    void onOpened();
    void onClosed();
    void retry();
    bool tryOpen();
    void setState(State state);

    MyDmm *m_driver;
    DeviceSelector *m_link;
    QTimer m_retryTimer;
    State m_state = State::Closed;
    bool m_reconnect = false;
    bool m_closing = false;
    bool m_held = false;
    QString m_lostAt;
    QString m_failure;
};
