#include "mqtt/mqttpublisher.h"

#include <QTimer>
#include <mosquitto.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace {

constexpr int kKeepAliveSeconds = 30;
constexpr int kLoopTimeoutMs = 500;
// How long the destructor waits for what is queued and the offline status to be acknowledged.
constexpr int kClosingWaitMs = 2000;
const QByteArray kOnline = QByteArrayLiteral("online");
const QByteArray kOffline = QByteArrayLiteral("offline");

void initLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

QString libraryText(const char *text)
{
    return QString::fromUtf8(text);
}

} // namespace

MqttPublisher::MqttPublisher(const MqttSettings &settings, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_readingTopic(settings.readingTopic().toUtf8())
    , m_statusTopic(settings.statusTopic().toUtf8())
{
    initLibrary();
}

MqttPublisher::~MqttPublisher()
{
    if (m_thread.joinable()) {
        // An end without finish(): what the broker can still take in a moment, then offline.
        std::unique_lock<std::mutex> lock(m_mutex);
        const auto until =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(kClosingWaitMs);
        m_wake.wait_until(lock, until, [this] {
            return !m_connected || (m_queue.empty() && m_inFlight.empty());
        });
        if (m_connected && m_offlineMid < 0)
            mosquitto_publish(m_mosq, &m_offlineMid, m_statusTopic.constData(), kOffline.size(),
                              kOffline.constData(), 1, true);
        m_wake.wait_until(lock, until, [this] { return !m_connected || m_offlineAcked; });
        lock.unlock();
        stopThread();
    }
    if (m_mosq)
        mosquitto_destroy(m_mosq);
}

bool MqttPublisher::start(QString *error)
{
    m_mosq = mosquitto_new(nullptr, true, this);
    if (!m_mosq) {
        *error = QStringLiteral("Cannot create the MQTT client");
        return false;
    }
    mosquitto_threaded_set(m_mosq, true);
    mosquitto_connect_callback_set(m_mosq, &MqttPublisher::connectCallback);
    mosquitto_disconnect_callback_set(m_mosq, &MqttPublisher::disconnectCallback);
    mosquitto_publish_callback_set(m_mosq, &MqttPublisher::publishCallback);
    // Unlimited for the library: this class keeps the readings in flight to kInFlight itself.
    mosquitto_max_inflight_messages_set(m_mosq, 0);
    int rc = mosquitto_will_set(m_mosq, m_statusTopic.constData(), kOffline.size(),
                                kOffline.constData(), 1, true);
    if (rc == MOSQ_ERR_SUCCESS && !m_settings.user.isEmpty())
        rc = mosquitto_username_pw_set(
            m_mosq, m_settings.user.toUtf8().constData(),
            m_settings.password.isEmpty() ? nullptr : m_settings.password.toUtf8().constData());
    if (rc == MOSQ_ERR_SUCCESS && m_settings.tls) {
        if (m_settings.caFile.isEmpty())
            rc = mosquitto_int_option(m_mosq, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
        else
            rc = mosquitto_tls_set(m_mosq, m_settings.caFile.toLocal8Bit().constData(), nullptr,
                                   nullptr, nullptr, nullptr);
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        *error = QStringLiteral("Cannot set up the MQTT client: %1")
                     .arg(libraryText(mosquitto_strerror(rc)));
        return false;
    }
    m_thread = std::thread(&MqttPublisher::run, this);
    return true;
}

// The network thread: connects, runs the client library's loop while the connection lasts, and
// after a loss (or a failed try) waits a delay that doubles up to kLastRetryMs before it tries
// again. A refused login is not tried again.
void MqttPublisher::run()
{
    const QByteArray host = m_settings.host.toUtf8();
    int retryMs = kFirstRetryMs;
    bool first = true;
    bool failureReported = false;
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stop && !m_refused) {
        lock.unlock();
        int rc = first ? mosquitto_connect_async(m_mosq, host.constData(), m_settings.port,
                                                 kKeepAliveSeconds)
                       : mosquitto_reconnect_async(m_mosq);
        int error = errno;
        first = false;
        bool wasConnected = false;
        // Once asked to stop, a few more rounds write the goodbye the library has queued.
        int rounds = 4;
        while (rc == MOSQ_ERR_SUCCESS) {
            rc = mosquitto_loop(m_mosq, kLoopTimeoutMs, 1);
            error = errno;
            lock.lock();
            wasConnected = wasConnected || m_connected;
            const bool stop = m_stop || m_refused;
            lock.unlock();
            if (stop && --rounds < 0)
                break;
        }
        if (wasConnected) {
            retryMs = kFirstRetryMs;
            failureReported = false;
        } else if (!failureReported && rc != MOSQ_ERR_SUCCESS) {
            failureReported = true;
            const QString reason = rc == MOSQ_ERR_ERRNO ? QString::fromLocal8Bit(strerror(error))
                                                        : libraryText(mosquitto_strerror(rc));
            QMetaObject::invokeMethod(
                this, [this, reason] { emit unreachable(reason); }, Qt::QueuedConnection);
        }
        lock.lock();
        m_wake.wait_for(lock, std::chrono::milliseconds(retryMs),
                        [this] { return m_stop || m_refused; });
        retryMs = std::min(retryMs * 2, kLastRetryMs);
    }
}

// Hands queued readings to the library while connected and fewer than kInFlight await their
// acknowledgement. The library keeps those it holds across a reconnection and sends them again
// first, so the order holds.
void MqttPublisher::pump(std::unique_lock<std::mutex> &lock)
{
    Q_UNUSED(lock)
    while (m_connected && !m_queue.empty() && int(m_inFlight.size()) < kInFlight) {
        int mid = 0;
        const QByteArray &payload = m_queue.front();
        if (mosquitto_publish(m_mosq, &mid, m_readingTopic.constData(), payload.size(),
                              payload.constData(), 1, false) != MOSQ_ERR_SUCCESS)
            return;
        m_inFlight.insert(mid);
        m_queue.pop_front();
    }
}

void MqttPublisher::publish(const QByteArray &payload)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_queue.push_back(payload);
    if (int(m_queue.size()) > m_settings.queueLimit) {
        m_queue.pop_front();
        ++m_dropped;
    }
    pump(lock);
}

qint64 MqttPublisher::dropped() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_dropped;
}

qint64 MqttPublisher::pending() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return qint64(m_queue.size() + m_inFlight.size());
}

void MqttPublisher::onConnect(int rc)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (rc != 0) {
        m_refused = true;
        lock.unlock();
        mosquitto_disconnect(m_mosq);
        const QString reason = libraryText(mosquitto_connack_string(rc));
        QMetaObject::invokeMethod(
            this, [this, reason] { emit refused(reason); }, Qt::QueuedConnection);
        m_wake.notify_all();
        return;
    }
    m_connected = true;
    int mid = 0;
    mosquitto_publish(m_mosq, &mid, m_statusTopic.constData(), kOnline.size(), kOnline.constData(),
                      1, true);
    pump(lock);
    lock.unlock();
    m_wake.notify_all();
    QMetaObject::invokeMethod(
        this,
        [this] {
            emit connected();
            progress();
        },
        Qt::QueuedConnection);
}

void MqttPublisher::onDisconnect(int rc)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    const bool wasConnected = m_connected;
    m_connected = false;
    const bool expected = rc == 0 || m_stop || m_refused; // 0: our own goodbye
    lock.unlock();
    m_wake.notify_all();
    if (wasConnected && !expected) {
        const QString reason = libraryText(mosquitto_strerror(rc));
        QMetaObject::invokeMethod(
            this, [this, reason] { emit connectionLost(reason); }, Qt::QueuedConnection);
    }
}

void MqttPublisher::onPublish(int mid)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (mid == m_offlineMid)
        m_offlineAcked = true;
    m_inFlight.erase(mid);
    pump(lock);
    lock.unlock();
    m_wake.notify_all();
    QMetaObject::invokeMethod(this, &MqttPublisher::progress, Qt::QueuedConnection);
}

void MqttPublisher::finish(int waitMs)
{
    if (m_phase != Phase::Running)
        return;
    m_phase = Phase::Draining;
    m_deadline.setRemainingTime(waitMs);
    QTimer::singleShot(waitMs, this, &MqttPublisher::progress);
    progress();
}

// On the object's own thread, after each acknowledgement and connection: moves an orderly end on.
void MqttPublisher::progress()
{
    if (m_phase == Phase::Running || m_phase == Phase::Done)
        return;
    std::unique_lock<std::mutex> lock(m_mutex);
    const bool delivered = m_queue.empty() && m_inFlight.empty();
    if (m_phase == Phase::Draining && delivered) {
        if (!m_connected || !m_thread.joinable()) {
            lock.unlock();
            end();
            return;
        }
        m_phase = Phase::Leaving;
        mosquitto_publish(m_mosq, &m_offlineMid, m_statusTopic.constData(), kOffline.size(),
                          kOffline.constData(), 1, true);
    }
    const bool over =
        (m_phase == Phase::Leaving && m_offlineAcked) || m_refused || m_deadline.hasExpired();
    lock.unlock();
    if (over)
        end();
}

void MqttPublisher::end()
{
    m_phase = Phase::Done;
    stopThread();
    emit finished(pending());
}

void MqttPublisher::stopThread()
{
    // The goodbye first: a connection closed without it would publish the last will.
    mosquitto_disconnect(m_mosq);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void MqttPublisher::connectCallback(mosquitto *, void *self, int rc)
{
    static_cast<MqttPublisher *>(self)->onConnect(rc);
}

void MqttPublisher::disconnectCallback(mosquitto *, void *self, int rc)
{
    static_cast<MqttPublisher *>(self)->onDisconnect(rc);
}

void MqttPublisher::publishCallback(mosquitto *, void *self, int mid)
{
    static_cast<MqttPublisher *>(self)->onPublish(mid);
}
