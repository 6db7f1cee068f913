#include "mqtt/mqttclient.h"

#include "mqtt/mqtttls.h"

#include <mosquitto.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using std::chrono::milliseconds;

constexpr int kKeepAliveSeconds = 30;
constexpr int kPollMs = 1000; // keep-alive and retries are looked after at least this often
// While readings come, the thread looks for new ones this often instead of being woken for each:
// a wake-up would take the processor from the recording thread on a busy machine.
constexpr int kBatchMs = 4;
constexpr auto kBusyFor = std::chrono::seconds(1);
// How long the goodbye of an orderly end may take to leave once its deadline has passed.
constexpr auto kGoodbyeFor = milliseconds(200);
// Reads a hung-up connection gets for what the broker sent before it went.
constexpr int kLastReads = 16;
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

MqttClient::MqttClient(const MqttSettings &settings)
    : m_settings(settings)
    , m_readingTopic(settings.readingTopic().toUtf8())
    , m_statusTopic(settings.statusTopic().toUtf8())
{
    initLibrary();
}

MqttClient::~MqttClient()
{
    if (m_mosq)
        mosquitto_destroy(m_mosq);
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
}

bool MqttClient::setUp(QString *error)
{
    m_mosq = mosquitto_new(nullptr, true, this);
    m_wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (!m_mosq || m_wakeFd < 0) {
        *error = tr("Cannot create the MQTT client");
        return false;
    }
    mosquitto_connect_callback_set(m_mosq, &MqttClient::connectCallback);
    mosquitto_disconnect_callback_set(m_mosq, &MqttClient::disconnectCallback);
    mosquitto_publish_callback_set(m_mosq, &MqttClient::publishCallback);
    mosquitto_log_callback_set(m_mosq, &MqttClient::logCallback);
    // Unlimited for the library: this class keeps the readings in flight to kInFlight itself.
    mosquitto_max_inflight_messages_set(m_mosq, 0);
    int rc = mosquitto_will_set(m_mosq, m_statusTopic.constData(), kOffline.size(),
                                kOffline.constData(), 1, true);
    if (rc == MOSQ_ERR_SUCCESS && !m_settings.user.isEmpty())
        rc = mosquitto_username_pw_set(
            m_mosq, m_settings.user.toUtf8().constData(),
            m_settings.password.isEmpty() ? nullptr : m_settings.password.toUtf8().constData());
    // A TLS context of our own, whose certificate check can say why it refused a certificate.
    if (rc == MOSQ_ERR_SUCCESS && m_settings.tls) {
        m_tls = std::make_unique<MqttTls>(m_settings.host);
        if (!m_tls->setUp(m_settings.caFile, error))
            return false;
        rc = mosquitto_int_option(m_mosq, MOSQ_OPT_SSL_CTX_WITH_DEFAULTS, 0);
        if (rc == MOSQ_ERR_SUCCESS)
            rc = mosquitto_void_option(m_mosq, MOSQ_OPT_SSL_CTX, m_tls->context());
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        *error = tr("Cannot set up the MQTT client: %1").arg(libraryText(mosquitto_strerror(rc)));
        return false;
    }
    return true;
}

void MqttClient::setListener(Listener listener)
{
    std::lock_guard<std::mutex> lock(m_listenerMutex);
    m_listener = std::move(listener);
}

void MqttClient::tell(const Event &event)
{
    std::lock_guard<std::mutex> lock(m_listenerMutex);
    if (m_listener)
        m_listener(event);
}

void MqttClient::run()
{
    // Woken by a reading, this thread does not take the processor from the one that recorded it.
    const sched_param batch{};
    pthread_setschedparam(pthread_self(), SCHED_BATCH, &batch);
    int retryMs = kFirstRetryMs;
    bool failureTold = false;
    std::unique_lock<std::mutex> lock(m_mutex);
    for (bool first = true; !endsNow(); first = false) {
        lock.unlock();
        const Attempt tried = attempt(first);
        lock.lock();
        if (tried.connected) {
            retryMs = kFirstRetryMs;
            failureTold = false;
        }
        if (!tried.reason.isEmpty() && !m_refused && (tried.connected || !failureTold)) {
            failureTold = !tried.connected;
            lock.unlock();
            tell({tried.connected ? Event::Kind::ConnectionLost : Event::Kind::Unreachable,
                  tried.reason});
            lock.lock();
        }
        // A refused login is not tried again; the client waits for its end. The end's deadline
        // ends the wait for the next try too.
        if (m_refused)
            m_changed.wait(lock, [this] { return endsNow(); });
        else
            m_changed.wait_until(lock, std::min(Clock::now() + milliseconds(retryMs), m_deadline),
                                 [this] { return endsNow(); });
        retryMs = std::min(retryMs * 2, kLastRetryMs);
    }
    const bool told = m_finishing && !m_stop;
    const Event finished{Event::Kind::Finished, QString(),
                         qint64(m_queue.size() + m_inFlight.size())};
    lock.unlock();
    if (told)
        tell(finished);
    lock.lock();
    m_done = true;
    lock.unlock();
    m_changed.notify_all();
}

// Whether the network thread's work is over. With the lock held.
bool MqttClient::endsNow() const
{
    if (m_stop)
        return true;
    return m_finishing && (m_refused || Clock::now() >= m_deadline || (drained() && !m_connected));
}

MqttClient::Attempt MqttClient::attempt(bool first)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_accepted = false;
        m_offlineMid = -1;
        m_offlineAcked = false;
        m_goodbye = false;
    }
    if (m_tls)
        m_tls->takeFailure();
    m_libraryError.clear();
    const int rc = first ? mosquitto_connect_async(m_mosq, m_settings.host.toUtf8().constData(),
                                                   m_settings.port, kKeepAliveSeconds)
                         : mosquitto_reconnect_async(m_mosq);
    const int error = errno;
    Attempt tried;
    tried.reason = rc == MOSQ_ERR_SUCCESS ? serve() : reasonFor(rc, error);
    std::lock_guard<std::mutex> lock(m_mutex);
    tried.connected = m_accepted;
    // A connection given up here is not the library's to report.
    m_connected = false;
    return tried;
}

// One connection, from the first byte to its end: polls the broker's socket and the wake-up
// event, hands queued readings over, says goodbye at the end. Returns why it ended.
QString MqttClient::serve()
{
    m_connectBy = Clock::now() + milliseconds(kConnectTimeoutMs);
    auto lastReading = Clock::now() - kBusyFor;
    for (;;) {
        bool napping = false;
        int timeoutMs = kBatchMs;
        Leave leave = Leave::Stay;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            leave = m_stop ? Leave::Over : m_finishing ? leaveStep() : Leave::Stay;
            // Once the end is under way, nothing more goes out after the offline status.
            if (leave == Leave::Stay && pump(lock))
                lastReading = Clock::now();
            napping = Clock::now() - lastReading >= kBusyFor;
            m_napping = napping;
            timeoutMs = pollTimeoutMs(napping);
        }
        // The library may call back from these, which takes the lock.
        if (leave == Leave::Over)
            return QString();
        if (leave == Leave::Offline)
            sendOffline();
        if (leave == Leave::Goodbye)
            // Written after the offline status; the library closes the socket once it is out.
            mosquitto_disconnect(m_mosq);
        const int socket = mosquitto_socket(m_mosq);
        if (socket < 0) // closed by the library after our goodbye
            return QString();
        pollfd fds[2] = {{socket, short(POLLIN | (mosquitto_want_write(m_mosq) ? POLLOUT : 0)), 0},
                         {m_wakeFd, POLLIN, 0}};
        const int polled = ::poll(fds, 2, timeoutMs);
        const int pollError = errno;
        if (napping) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_napping = false;
        }
        if (polled < 0 && pollError != EINTR)
            return reasonFor(MOSQ_ERR_ERRNO, pollError);
        if (fds[1].revents & POLLIN) {
            eventfd_t count;
            eventfd_read(m_wakeFd, &count);
        }
        if (const std::optional<QString> ended = service(socket, fds[0].revents))
            return *ended;
    }
}

// Lets the library read, write and keep the connection alive after a poll; why the connection
// has ended, if it has.
std::optional<QString> MqttClient::service(int socket, short events)
{
    // A failed connection (refused, reset) says why at once, before the library's reads and
    // writes turn the socket's error into a broken pipe.
    int socketError = 0;
    socklen_t size = sizeof socketError;
    if ((events & POLLERR) && getsockopt(socket, SOL_SOCKET, SO_ERROR, &socketError, &size) == 0 &&
        socketError)
        return reasonFor(MOSQ_ERR_ERRNO, socketError);
    int rc = MOSQ_ERR_SUCCESS;
    if (events & (POLLIN | POLLHUP))
        rc = mosquitto_loop_read(m_mosq, 1);
    if (rc == MOSQ_ERR_SUCCESS && mosquitto_socket(m_mosq) >= 0 && mosquitto_want_write(m_mosq))
        rc = mosquitto_loop_write(m_mosq, 1);
    if (rc == MOSQ_ERR_SUCCESS)
        rc = mosquitto_loop_misc(m_mosq);
    const int error = errno;
    if (rc != MOSQ_ERR_SUCCESS)
        return m_goodbye ? QString() : reasonFor(rc, error);
    if ((events & POLLHUP) && mosquitto_socket(m_mosq) >= 0)
        return hungUp();
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_accepted && Clock::now() >= m_connectBy)
        return tr("no answer from the broker within %1 s").arg(kConnectTimeoutMs / 1000);
    return std::nullopt;
}

// How long the network thread may sleep in poll(): short while readings come, else until the
// next thing to look after. With the lock held.
int MqttClient::pollTimeoutMs(bool napping) const
{
    if (!napping)
        return kBatchMs;
    const Clock::time_point now = Clock::now();
    Clock::time_point until = now + milliseconds(kPollMs);
    if (!m_accepted)
        until = std::min(until, m_connectBy);
    if (m_finishing)
        until = std::min(until, m_goodbye ? m_deadline + kGoodbyeFor : m_deadline);
    const auto left = std::chrono::duration_cast<milliseconds>(until - now).count();
    return int(std::clamp<decltype(left)>(left + 1, 1, kPollMs));
}

// The next step of the orderly end on this connection: the offline status once the readings are
// delivered or the time is up, the goodbye once the status is acknowledged or the time is up, and
// the end once there is nothing more to do. With the lock held.
MqttClient::Leave MqttClient::leaveStep()
{
    const Clock::time_point now = Clock::now();
    const bool expired = now >= m_deadline;
    if (!m_connected)
        return expired || drained() ? Leave::Over : Leave::Stay;
    if (m_offlineMid < 0 && (drained() || expired))
        return Leave::Offline;
    if (!m_goodbye && (m_offlineAcked || expired)) {
        m_goodbye = true;
        return Leave::Goodbye;
    }
    return m_goodbye && now >= m_deadline + kGoodbyeFor ? Leave::Over : Leave::Stay;
}

void MqttClient::sendOffline()
{
    int mid = -1;
    mosquitto_publish(m_mosq, &mid, m_statusTopic.constData(), kOffline.size(),
                      kOffline.constData(), 1, true);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_offlineMid = mid;
}

// The broker's side has hung up while the library still holds the connection: in a TLS handshake
// it does not notice, and would poll and write into the dead socket for ever. What the broker
// sent before it went is read, then the connection is given up.
QString MqttClient::hungUp()
{
    const int socket = mosquitto_socket(m_mosq);
    for (int i = 0; i < kLastReads && mosquitto_socket(m_mosq) >= 0; ++i) {
        const int rc = mosquitto_loop_read(m_mosq, 1);
        const int error = errno;
        if (rc != MOSQ_ERR_SUCCESS)
            return reasonFor(rc, error);
    }
    // The library's first write may have taken the refusal's error; a connection the broker
    // never answered has no round-trip time.
    tcp_info info = {};
    socklen_t size = sizeof info;
    if (getsockopt(socket, IPPROTO_TCP, TCP_INFO, &info, &size) == 0 && info.tcpi_rtt == 0)
        return reasonFor(MOSQ_ERR_ERRNO, ECONNREFUSED);
    return tr("the broker closed the connection");
}

QString MqttClient::reasonFor(int rc, int error)
{
    const QString certificate = m_tls ? m_tls->takeFailure() : QString();
    if (!certificate.isEmpty())
        return certificate;
    const bool tlsFailed = rc == MOSQ_ERR_TLS || (rc == MOSQ_ERR_ERRNO && error == EPROTO);
    if (tlsFailed && !m_libraryError.isEmpty())
        return tr("TLS error: %1").arg(m_libraryError);
    if (rc == MOSQ_ERR_ERRNO)
        return QString::fromLocal8Bit(strerror(error));
    if (rc == MOSQ_ERR_CONN_LOST)
        return tr("the broker closed the connection");
    return libraryText(mosquitto_strerror(rc));
}

// On the network thread: hands queued readings to the library while connected and fewer than
// kInFlight await their acknowledgement. The library keeps those it holds across a reconnection
// and sends them again first, so the order holds.
bool MqttClient::pump(std::unique_lock<std::mutex> &lock)
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

void MqttClient::wake()
{
    if (m_wakeFd >= 0)
        eventfd_write(m_wakeFd, 1);
}

void MqttClient::publish(Payload payload)
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

void MqttClient::finish(Clock::time_point deadline)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_finishing = true;
        m_deadline = std::min(m_deadline, deadline);
    }
    wake();
    m_changed.notify_all();
}

void MqttClient::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    wake();
    m_changed.notify_all();
}

bool MqttClient::waitUntilDone(Clock::time_point until)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_until(lock, until, [this] { return m_done; });
}

bool MqttClient::isFinishing() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_finishing;
}

MqttClient::Clock::time_point MqttClient::deadline() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_deadline;
}

qint64 MqttClient::dropped() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_dropped;
}

qint64 MqttClient::pending() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return qint64(m_queue.size() + m_inFlight.size());
}

// The callbacks run on the network thread, within the library's read and write calls.
void MqttClient::onConnect(int rc)
{
    if (rc != 0) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_refused = true;
        }
        m_changed.notify_all();
        tell({Event::Kind::Refused, libraryText(mosquitto_connack_string(rc))});
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_connected = true;
        m_accepted = true;
    }
    int mid = 0;
    mosquitto_publish(m_mosq, &mid, m_statusTopic.constData(), kOnline.size(), kOnline.constData(),
                      1, true);
    m_changed.notify_all();
    tell({Event::Kind::Connected, QString()});
}

void MqttClient::onDisconnect()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_connected = false;
    }
    m_changed.notify_all();
}

void MqttClient::onPublish(int mid)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (mid == m_offlineMid)
            m_offlineAcked = true;
        m_inFlight.erase(mid);
    }
    m_changed.notify_all();
}

void MqttClient::connectCallback(mosquitto *, void *self, int rc)
{
    static_cast<MqttClient *>(self)->onConnect(rc);
}

void MqttClient::disconnectCallback(mosquitto *, void *self, int)
{
    static_cast<MqttClient *>(self)->onDisconnect();
}

void MqttClient::publishCallback(mosquitto *, void *self, int mid)
{
    static_cast<MqttClient *>(self)->onPublish(mid);
}

// The library's own account of a failure, e.g. "OpenSSL Error[0]: error:0A000126:SSL
// routines::unexpected eof while reading": its last part is kept as the reason.
void MqttClient::logCallback(mosquitto *, void *self, int level, const char *text)
{
    if (level == MOSQ_LOG_ERR)
        static_cast<MqttClient *>(self)->m_libraryError =
            QString::fromUtf8(text).section(QLatin1Char(':'), -1).trimmed();
}
