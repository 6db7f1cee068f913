#pragma once

#include "mqtt/mqttsettings.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QString>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>

struct mosquitto;
class MqttTls;

// The connection to the broker, served by a network thread of its own (run()), and all that the
// thread shares with its owner: the readings waiting, those in flight, and the orderly end. The
// owner and the thread hold it by shared pointers, so that a thread that outlives its owner (an
// end left to run in the background, a name lookup that does not return) still finds everything
// it uses. The client library is used from the network thread only; its socket is non-blocking
// and the thread waits in poll() beside a wake-up event. Only the library's name lookup can hold
// the thread (a name server that does not answer); the owner does not wait for it beyond the
// deadline of the end.
class MqttClient
{
    Q_DECLARE_TR_FUNCTIONS(MqttClient)
public:
    using Clock = std::chrono::steady_clock;
    // Makes a reading's payload; called on the network thread, so that the caller does not pay
    // for the formatting.
    using Payload = std::function<QByteArray()>;

    struct Event
    {
        enum class Kind
        {
            Connected,
            Unreachable,    // a try to connect failed; said once until a connection is made
            ConnectionLost, // tries go on
            Refused,        // the login; not tried again
            Finished        // the orderly end is over; undelivered: readings not acknowledged
        };
        Kind kind;
        QString reason;
        qint64 undelivered = 0;
    };
    // Called on the network thread; it only hands the event over.
    using Listener = std::function<void(const Event &)>;

    // Readings handed to the client library at once while it awaits their acknowledgements.
    static constexpr int kInFlight = 64;
    static constexpr int kFirstRetryMs = 500;
    static constexpr int kLastRetryMs = 8000;
    // A connection the broker has not accepted by then is given up and tried again.
    static constexpr int kConnectTimeoutMs = 10000;

    explicit MqttClient(const MqttSettings &settings);
    ~MqttClient();
    Q_DISABLE_COPY(MqttClient)

    // False with *error when the client cannot be set up (a CA file that cannot be read).
    bool setUp(QString *error);
    // Replaces the listener; an empty one hears nothing more. No event is being told once it
    // has returned.
    void setListener(Listener listener);
    // The network thread: connects, serves the connection while it lasts, tries again after a
    // growing delay, until stop() or the end of finish().
    void run();

    // Queues one reading; the oldest is dropped and counted when the queue is full.
    void publish(Payload payload);
    // Delivers what is queued and the offline status by the deadline, then disconnects, and
    // tells Finished. An earlier deadline than the one given before takes its place.
    void finish(Clock::time_point deadline);
    // Ends the network thread at once; the broker publishes the last will.
    void stop();
    // Whether run() has returned by the time given.
    bool waitUntilDone(Clock::time_point until);
    bool isFinishing() const;
    // The deadline of finish(); the far future before it.
    Clock::time_point deadline() const;
    qint64 dropped() const;
    // Readings not yet acknowledged by the broker (queued or in flight).
    qint64 pending() const;

private:
    enum class Leave
    {
        Stay,
        Offline,
        Goodbye,
        Over
    };
    struct Attempt
    {
        bool connected = false; // the broker accepted this connection
        QString reason;         // why it ended; empty for our own goodbye
    };

    Attempt attempt(bool first);
    QString serve();
    std::optional<QString> service(int socket, short events);
    int pollTimeoutMs(bool napping) const;
    Leave leaveStep();
    void sendOffline();
    QString hungUp();
    bool pump(std::unique_lock<std::mutex> &lock);
    void wake();
    void tell(const Event &event);
    bool endsNow() const;
    bool drained() const { return m_queue.empty() && m_inFlight.empty(); }
    QString reasonFor(int rc, int error);
    void onConnect(int rc);
    void onDisconnect();
    void onPublish(int mid);

    static void connectCallback(mosquitto *, void *self, int rc);
    static void disconnectCallback(mosquitto *, void *self, int rc);
    static void publishCallback(mosquitto *, void *self, int mid);
    static void logCallback(mosquitto *, void *self, int level, const char *text);

    const MqttSettings m_settings;
    const QByteArray m_readingTopic;
    const QByteArray m_statusTopic;
    std::unique_ptr<MqttTls> m_tls;
    mosquitto *m_mosq = nullptr;
    int m_wakeFd = -1; // an eventfd that the network thread polls beside the broker's socket
    // Network thread only: the client library's last complaint, and when the broker must have
    // accepted the connection being made.
    QString m_libraryError;
    Clock::time_point m_connectBy;

    std::mutex m_listenerMutex;
    Listener m_listener;

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Payload> m_queue; // not yet handed to the client library
    std::set<int> m_inFlight;    // message ids of readings awaiting their acknowledgement
    qint64 m_dropped = 0;
    bool m_connected = false;
    bool m_accepted = false; // the broker has accepted the current attempt
    bool m_napping = false;  // the network thread sleeps long and needs a wake-up for a reading
    bool m_refused = false;
    bool m_stop = false;
    bool m_done = false;
    bool m_finishing = false;
    Clock::time_point m_deadline = Clock::time_point::max();
    // The orderly end on the current connection.
    int m_offlineMid = -1;
    bool m_offlineAcked = false;
    bool m_goodbye = false;
};
