#pragma once

#include "mqtt/mqttclient.h"
#include "mqtt/mqttsettings.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>
#include <thread>

// Publishes readings to <prefix>/<name>/reading (QoS 1) and keeps a retained <prefix>/<name>/status
// of "online" while connected and "offline" after (also the connection's last will). Everything
// that talks to the broker runs on a thread of its own (MqttClient): publish() only queues the
// reading. While the broker cannot be reached, readings wait in a bounded queue (the oldest
// dropped and counted when it is full) and the client reconnects with a growing delay; the queue
// goes out in order once the broker is back. No call blocks the caller, the destructor included.
class MqttPublisher : public QObject
{
    Q_OBJECT
public:
    using Payload = MqttClient::Payload;

    static constexpr int kInFlight = MqttClient::kInFlight;
    static constexpr int kFirstRetryMs = MqttClient::kFirstRetryMs;
    static constexpr int kLastRetryMs = MqttClient::kLastRetryMs;
    // What an end without finish() gives the broker for what is queued and the offline status.
    static constexpr int kClosingWaitMs = 2000;
    // How long after its deadline an end is reported even when the network thread has not
    // reported it (a name lookup that does not return).
    static constexpr int kGraceMs = 300;

    explicit MqttPublisher(const MqttSettings &settings, QObject *parent = nullptr);
    // Never blocks: an end that has not come yet runs on in the background, as retire() with
    // kClosingWaitMs has it.
    ~MqttPublisher() override;

    // Starts connecting in the background; false with *error when the client cannot be set up
    // (a certificate file that cannot be read, for example).
    bool start(QString *error);
    // Hands one reading over; it goes out in order, or waits in the queue.
    void publish(const QByteArray &payload);
    void publish(Payload payload);
    // Delivers what is queued and the offline status, then disconnects; finished() follows once
    // everything is acknowledged, or after waitMs at the latest (kGraceMs later should the
    // network thread hang). A later call can only bring the end closer.
    void finish(int waitMs);
    // Ends a publisher in the background, without blocking and without needing an event loop:
    // what is queued and the offline status get up to waitMs, and the program's exit waits for
    // them at most as long.
    static void retire(std::unique_ptr<MqttPublisher> publisher, int waitMs);

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
    void onEvent(const MqttClient::Event &event);
    void reportFinished(qint64 undelivered);

    std::shared_ptr<MqttClient> m_client;
    std::thread m_thread;
    QTimer m_guard; // reports the end should the network thread not
    bool m_finished = false;
};
