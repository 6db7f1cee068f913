#include "mqtt/mqttpublisher.h"

#include <QTimer>
#include <mosquitto.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

constexpr int kKeepAliveSeconds = 30;
constexpr int kPollMs = 1000; // keep-alive and retries are looked after at least this often
// While readings come, the thread looks for new ones this often instead of being woken for each:
// a wake-up would take the processor from the recording thread on a busy machine.
constexpr int kBatchMs = 4;
constexpr auto kBusyFor = std::chrono::seconds(1);
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
        m_changed.wait_until(lock, until, [this] {
            return !m_connected || (m_queue.empty() && m_inFlight.empty());
        });
        m_offlineWanted = true;
        wake();
        m_changed.wait_until(lock, until, [this] { return !m_connected || m_offlineAcked; });
        lock.unlock();
        stopThread();
    }
    if (m_mosq)
        mosquitto_destroy(m_mosq);
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
}

bool MqttPublisher::start(QString *error)
{
    m_mosq = mosquitto_new(nullptr, true, this);
    m_wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (!m_mosq || m_wakeFd < 0) {
        *error = QStringLiteral("Cannot create the MQTT client");
        return false;
    }
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

// The network thread: connects, serves the connection while it lasts, and after a loss (or a
// failed try) waits a delay that doubles up to kLastRetryMs before it tries again. A refused
// login is not tried again. The client library is used from this thread only.
void MqttPublisher::run()
{
    // Woken by a reading, this thread does not take the processor from the one that recorded it.
    const sched_param batch{};
    pthread_setschedparam(pthread_self(), SCHED_BATCH, &batch);
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
        if (rc == MOSQ_ERR_SUCCESS) {
            rc = serve();
            error = errno;
            lock.lock();
            wasConnected = m_hadConnection;
            m_hadConnection = false;
            lock.unlock();
        }
        if (wasConnected) {
            retryMs = kFirstRetryMs;
            failureReported = false;
        } else if (!failureReported) {
            failureReported = true;
            const QString reason = rc == MOSQ_ERR_ERRNO ? QString::fromLocal8Bit(strerror(error))
                                                        : libraryText(mosquitto_strerror(rc));
            QMetaObject::invokeMethod(
                this, [this, reason] { emit unreachable(reason); }, Qt::QueuedConnection);
        }
        lock.lock();
        m_changed.wait_for(lock, std::chrono::milliseconds(retryMs),
                           [this] { return m_stop || m_refused; });
        retryMs = std::min(retryMs * 2, kLastRetryMs);
    }
}

// One connection, from the first byte to its end: polls the broker's socket and the wake-up
// event, hands queued readings over, says goodbye when asked to stop. Returns why it ended.
int MqttPublisher::serve()
{
    auto lastReading = std::chrono::steady_clock::now() - kBusyFor;
    for (;;) {
        bool napping = false;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (m_stop || m_refused) {
                lock.unlock();
                // Written at once; the library closes the socket after it.
                mosquitto_disconnect(m_mosq);
                return MOSQ_ERR_SUCCESS;
            }
            if (m_offlineWanted && m_offlineMid < 0 && m_connected)
                mosquitto_publish(m_mosq, &m_offlineMid, m_statusTopic.constData(), kOffline.size(),
                                  kOffline.constData(), 1, true);
            if (pump(lock))
                lastReading = std::chrono::steady_clock::now();
            napping = std::chrono::steady_clock::now() - lastReading >= kBusyFor;
            m_napping = napping;
        }
        const int socket = mosquitto_socket(m_mosq);
        if (socket < 0)
            return MOSQ_ERR_NO_CONN;
        pollfd fds[2] = {{socket, short(POLLIN | (mosquitto_want_write(m_mosq) ? POLLOUT : 0)), 0},
                         {m_wakeFd, POLLIN, 0}};
        const int polled = ::poll(fds, 2, napping ? kPollMs : kBatchMs);
        if (napping) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_napping = false;
        }
        if (polled < 0 && errno != EINTR)
            return MOSQ_ERR_ERRNO;
        if (fds[1].revents & POLLIN) {
            eventfd_t count;
            eventfd_read(m_wakeFd, &count);
        }
        int rc = MOSQ_ERR_SUCCESS;
        if (fds[0].revents & (POLLIN | POLLERR | POLLHUP))
            rc = mosquitto_loop_read(m_mosq, 1);
        if (rc == MOSQ_ERR_SUCCESS && mosquitto_socket(m_mosq) >= 0 && mosquitto_want_write(m_mosq))
            rc = mosquitto_loop_write(m_mosq, 1);
        if (rc == MOSQ_ERR_SUCCESS)
            rc = mosquitto_loop_misc(m_mosq);
        if (rc != MOSQ_ERR_SUCCESS)
            return rc;
    }
}

// On the network thread: hands queued readings to the library while connected and fewer than
// kInFlight await their acknowledgement. The library keeps those it holds across a reconnection
// and sends them again first, so the order holds.
bool MqttPublisher::pump(std::unique_lock<std::mutex> &lock)
{
    bool handed = false;
    while (m_connected && !m_queue.empty() && int(m_inFlight.size()) < kInFlight) {
        const Payload make = std::move(m_queue.front());
        m_queue.pop_front();
        lock.unlock();
        const QByteArray payload = make();
        int mid = 0;
        const int rc = mosquitto_publish(m_mosq, &mid, m_readingTopic.constData(), payload.size(),
                                         payload.constData(), 1, false);
        lock.lock();
        if (rc != MOSQ_ERR_SUCCESS) {
            m_queue.push_front([payload] { return payload; });
            break;
        }
        m_inFlight.insert(mid);
        handed = true;
    }
    return handed;
}

void MqttPublisher::wake()
{
    if (m_wakeFd >= 0)
        eventfd_write(m_wakeFd, 1);
}

void MqttPublisher::publish(const QByteArray &payload)
{
    publish(Payload([payload] { return payload; }));
}

void MqttPublisher::publish(Payload payload)
{
    bool idle = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        idle = m_napping && m_connected && int(m_inFlight.size()) < kInFlight && m_queue.empty();
        m_queue.push_back(std::move(payload));
        if (int(m_queue.size()) > m_settings.queueLimit) {
            m_queue.pop_front();
            ++m_dropped;
        }
    }
    // A thread that is not napping takes the reading within kBatchMs on its own.
    if (idle)
        wake();
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

// The callbacks run on the network thread, within the library's read and write calls.
void MqttPublisher::onConnect(int rc)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (rc != 0) {
        m_refused = true;
        lock.unlock();
        const QString reason = libraryText(mosquitto_connack_string(rc));
        QMetaObject::invokeMethod(
            this, [this, reason] { emit refused(reason); }, Qt::QueuedConnection);
        m_changed.notify_all();
        return;
    }
    m_connected = true;
    m_hadConnection = true;
    int mid = 0;
    mosquitto_publish(m_mosq, &mid, m_statusTopic.constData(), kOnline.size(), kOnline.constData(),
                      1, true);
    lock.unlock();
    m_changed.notify_all();
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
    m_changed.notify_all();
    if (wasConnected && !expected) {
        const QString reason = libraryText(mosquitto_strerror(rc));
        QMetaObject::invokeMethod(
            this, [this, reason] { emit connectionLost(reason); }, Qt::QueuedConnection);
    }
}

void MqttPublisher::onPublish(int mid)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (mid == m_offlineMid)
            m_offlineAcked = true;
        m_inFlight.erase(mid);
    }
    m_changed.notify_all();
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
        m_offlineWanted = true;
        wake();
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
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    wake();
    m_changed.notify_all();
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
