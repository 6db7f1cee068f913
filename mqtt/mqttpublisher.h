#pragma once

#include "mqtt/mqttsettings.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <set>
#include <thread>

struct mosquitto;

// Publishes readings to <prefix>/<name>/reading (QoS 1) and keeps a retained <prefix>/<name>/status
// of "online" while connected and "offline" after (also the connection's last will). Everything
// that talks to the broker runs on a thread of its own: publish() only queues the reading and
// wakes that thread. While the broker cannot be reached, readings wait in a bounded queue (the
// oldest dropped and counted when it is full) and the client reconnects with a growing delay; the
// queue goes out in order once the broker is back.
class MqttPublisher : public QObject
{
    Q_OBJECT
public:
    // Makes a reading's payload; called on the network thread, so that the caller does not pay
    // for the formatting.
    using Payload = std::function<QByteArray()>;

    // Readings handed to the client library at once while it awaits their acknowledgements.
    static constexpr int kInFlight = 64;
    static constexpr int kFirstRetryMs = 500;
    static constexpr int kLastRetryMs = 8000;

    explicit MqttPublisher(const MqttSettings &settings, QObject *parent = nullptr);
    // Gives the broker up to 2 s for what is queued and the offline status; finish() for an end
    // that does not block.
    ~MqttPublisher() override;

    // Starts connecting in the background; false with *error when the client cannot be set up
    // (a certificate file that cannot be read, for example).
    bool start(QString *error);
    // Hands one reading over; it goes out in order, or waits in the queue.
    void publish(const QByteArray &payload);
    void publish(Payload payload);
    // Delivers what is queued and the offline status, then disconnects; finished() follows once
    // everything is acknowledged or after waitMs, whatever comes first.
    void finish(int waitMs);

    qint64 dropped() const;
    // Readings not yet acknowledged by the broker (queued or in flight).
    qint64 pending() const;

signals:
    void connected();
    void connectionLost(const QString &reason);
    // A try to connect failed (said once until a connection has been made); tries go on.
    void unreachable(const QString &reason);
    // The broker refused the login; the client does not try again.
    void refused(const QString &reason);
    // undelivered: readings still unacknowledged when the connection ended.
    void finished(qint64 undelivered);

private:
    enum class Phase
    {
        Running,
        Draining,
        Leaving, // the offline status is on its way
        Done
    };

    void run();
    int serve();
    // Whether a reading was handed over.
    bool pump(std::unique_lock<std::mutex> &lock);
    void wake();
    void onConnect(int rc);
    void onDisconnect(int rc);
    void onPublish(int mid);
    void progress();
    void end();
    void stopThread();

    static void connectCallback(mosquitto *, void *self, int rc);
    static void disconnectCallback(mosquitto *, void *self, int rc);
    static void publishCallback(mosquitto *, void *self, int mid);

    const MqttSettings m_settings;
    const QByteArray m_readingTopic;
    const QByteArray m_statusTopic;
    mosquitto *m_mosq = nullptr;
    std::thread m_thread;
    int m_wakeFd = -1; // an eventfd that the network thread polls beside the broker's socket

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Payload> m_queue; // not yet handed to the client library
    std::set<int> m_inFlight;    // message ids of readings awaiting their acknowledgement
    bool m_offlineWanted = false;
    int m_offlineMid = -1;
    bool m_offlineAcked = false;
    bool m_connected = false;
    bool m_napping = false; // the network thread sleeps long and needs a wake-up for a reading
    bool m_hadConnection = false; // since the network thread last looked
    bool m_stop = false;
    bool m_refused = false;
    qint64 m_dropped = 0;

    Phase m_phase = Phase::Running;
    QDeadlineTimer m_deadline;
};
