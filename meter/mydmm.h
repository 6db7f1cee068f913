#pragma once

#include "meter/command.h"
#include "meter/commandpoolthread.h"
#include "meter/dmm.h"
#include "meter/functionentry.h"
#include "meter/silencewatch.h"

#include <QDateTime>
#include <QLatin1String>
#include <QStringList>
#include <memory>

class CommandPool;
class LoopCommandPool;
class OnceCommandPool;

// The driver of the VX310A family: polls the meter through the command thread, writes each
// command it hands out, cuts the received bytes into reply frames, tells the thread when the
// pending command has been answered, and turns due replies into readings. It also keeps the
// four sampling settings. Lives and works in the GUI thread.
class MyDmm : public Dmm
{
    Q_OBJECT
public:
    enum class DisplayKind
    {
        Numeric,
        NegativeOverload,
        PositiveOverload
    };

    // The sampling settings until the settings file or the command line say otherwise.
    static constexpr int kDefaultSampleRate = 1000;
    static constexpr int kDefaultSamplePoints = 1000;

    explicit MyDmm(DeviceSelector *selector, QObject *parent = nullptr);
    // Stops the command thread and closes the link.
    ~MyDmm() override;

    // Opens the link and starts polling; false when already open or the link cannot open.
    bool open() override;
    // Stops polling and closes the link; harmless when closed.
    void close() override;

    // Queues a key command (one key code as payload); it is sent before the next poll.
    void sendKey(const QByteArray &payload);
    // The answer to the command handed out last has arrived.
    void notifyReply();
    void sendHold();
    void sendRangeManual();
    // Chooses the function table: the "E" variants (any case) use their own.
    void setModel(const QString &name);
    QString meterModel() const { return m_meterModel; }
    // The model names the command line accepts: the window's, the E variant's, the driver's own.
    static QStringList knownModels();

    int samplePoints() const { return m_samplePoints; }
    void setSamplePoints(int points) { m_samplePoints = points; }
    bool isInfinite() const { return m_infinite; }
    void setInfinite(bool infinite) { m_infinite = infinite; }
    // At most one reply per this many milliseconds becomes a reading; 0 lets every reply.
    int sampleRate() const { return m_sampleRate; }
    void setSampleRate(int ms);
    bool isSkipRepeat() const { return m_skipRepeat; }
    void setSkipRepeat(bool skip) { m_skipRepeat = skip; }

    // The reading a reply frame shows, or null when it is too short or its codes are not in
    // the active table. The caller owns the result.
    DmmData *decode(const QByteArray &frame) const;
    static DisplayKind classifyDisplay(QLatin1String text);
    // The number a reading of the row with this display text stands for (in the unit without
    // prefix for the scaled functions), and its overload: -1, 0 or +1.
    static double displayValue(const FunctionEntry &entry, QLatin1String display, int *overload);
    // The range column's text for a reading of the row.
    static QString rangeText(const FunctionEntry &entry);
    // The function name of an AC+DC reading, which names the coupling shown ("AC" or "DC").
    static QString dualFunctionName(const FunctionEntry &entry, const QString &coupling);
    static QByteArray buildFrame(const QByteArray &payload);
    // Builds a command around the payload and appends it to pool (nothing with a null pool).
    static void enqueue(CommandPool *pool, const QByteArray &payload, bool needsReply);

    const FunctionTable &activeTable() const { return *m_activeTable; }
    const FunctionTable &defaultTable() const { return m_defaultTable; }
    const FunctionTable &eTable() const { return m_eTable; }
    // The last complete frame received.
    QByteArray lastFrame() const { return m_lastFrame; }

    // For tests: shorter time constants for the command thread of the next open, and a look
    // at the running parts.
    void setThreadTiming(const CommandPoolThread::Timing &timing) { m_threadTiming = timing; }
    CommandPoolThread *commandThread() const { return m_thread; }
    OnceCommandPool *oncePool() const { return m_oncePool.get(); }
    LoopCommandPool *loopPool() const { return m_loopPool.get(); }
    CommandPtr currentCommand() const { return m_currentCommand; }
    // How long an open link may bring no reply before meterSilent(); tests shorten it.
    void setSilenceTimeout(int ms) { m_silence.setTimeout(ms); }
    bool isMeterSilent() const { return m_silence.isSilent(); }

signals:
    // The link is open but the meter has not answered for the silence time-out (5 s).
    void meterSilent();
    // The meter answers again after meterSilent().
    void meterAnswering();

public slots:
    void slotSerialDeviceRead(const uint8_t *data, int len) override;
    void slotUSBRemoved();
    void slotCommandPoolThreadNextCommand(CommandPtr command);

protected:
    void handleFrame(const QByteArray &frame) override;
    void timerEvent(QTimerEvent *event) override;

private:
    // The next complete frame in the receive buffer from offset on, or an empty array.
    QByteArray extractFrame(int &offset);
    bool answersCurrentCommand(const QByteArray &frame) const;
    void startSampleTimer();
    void stopSampleTimer();
    void stopThread();
    // The local date and time now. Turning the clock into local time is slow, so one result
    // is kept for the millisecond it stands for.
    QDateTime localNow() const;

    CommandPoolThread *m_thread = nullptr;
    // Shared with the command thread, whose worker may outlive a stop that timed out.
    std::shared_ptr<OnceCommandPool> m_oncePool;
    std::shared_ptr<LoopCommandPool> m_loopPool;
    CommandPtr m_currentCommand;
    FunctionTable m_defaultTable;
    FunctionTable m_eTable;
    const FunctionTable *m_activeTable = &m_defaultTable;
    QByteArray m_rxBuffer;
    QByteArray m_lastFrame;
    QString m_meterModel;
    int m_timerId = 0;
    bool m_sampleDue = true;
    bool m_skipRepeat = false;
    int m_sampleRate = kDefaultSampleRate;
    int m_samplePoints = kDefaultSamplePoints;
    bool m_infinite = true;
    CommandPoolThread::Timing m_threadTiming;
    SilenceWatch m_silence;
    mutable qint64 m_nowMSecs = -1;
    mutable QDateTime m_now;
};
