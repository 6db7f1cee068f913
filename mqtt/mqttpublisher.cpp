#include "mqtt/mqttpublisher.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

using Clock = MqttClient::Clock;

// Network threads whose publisher is gone while their orderly end still runs. The program's exit
// waits for each until its deadline, so that what they still deliver is not cut off; a thread
// that has not ended by then (a name lookup that does not return) is left to the exit.
class RetiredThreads
{
public:
    ~RetiredThreads()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (Retired &retired : m_threads) {
            const auto bound =
                retired.client->deadline() + std::chrono::milliseconds(MqttPublisher::kGraceMs);
            if (!end(retired, bound)) {
                retired.client->stop();
                retired.thread.detach();
            }
        }
    }

    void add(std::shared_ptr<MqttClient> client, std::thread thread)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        // Those already over are joined now, so that a window that replaces its publisher
        // often does not gather threads.
        auto over = std::remove_if(m_threads.begin(), m_threads.end(),
                                   [](Retired &retired) { return end(retired, Clock::now()); });
        m_threads.erase(over, m_threads.end());
        m_threads.push_back({std::move(client), std::move(thread)});
    }

private:
    struct Retired
    {
        std::shared_ptr<MqttClient> client;
        std::thread thread;
    };

    // Joins the thread if it is done by the time given.
    static bool end(Retired &retired, Clock::time_point until)
    {
        if (retired.client->waitUntilDone(until)) {
            retired.thread.join();
            return true;
        }
        return false;
    }

    std::mutex m_mutex;
    std::vector<Retired> m_threads;
};

RetiredThreads &retiredThreads()
{
    static RetiredThreads threads;
    return threads;
}

} // namespace

MqttPublisher::MqttPublisher(const MqttSettings &settings, QObject *parent)
    : QObject(parent)
    , m_client(std::make_shared<MqttClient>(settings))
{
    m_guard.setSingleShot(true);
    connect(&m_guard, &QTimer::timeout, this, [this] {
        m_client->stop();
        reportFinished(m_client->pending());
    });
}

MqttPublisher::~MqttPublisher()
{
    if (!m_thread.joinable())
        return;
    m_client->setListener({});
    if (!m_client->isFinishing())
        m_client->finish(Clock::now() + std::chrono::milliseconds(kClosingWaitMs));
    // A thread that has reported its end is done a moment later.
    const auto done = Clock::now() + std::chrono::milliseconds(m_finished ? kGraceMs : 0);
    if (m_client->waitUntilDone(done))
        m_thread.join();
    else
        retiredThreads().add(m_client, std::move(m_thread));
}

bool MqttPublisher::start(QString *error)
{
    if (!m_client->setUp(error))
        return false;
    // Events cross to this object's thread; the destructor silences them before it goes.
    m_client->setListener([this](const MqttClient::Event &event) {
        QMetaObject::invokeMethod(
            this, [this, event] { onEvent(event); }, Qt::QueuedConnection);
    });
    m_thread = std::thread([client = m_client] { client->run(); });
    return true;
}

void MqttPublisher::retire(std::unique_ptr<MqttPublisher> publisher, int waitMs)
{
    if (publisher && publisher->m_thread.joinable())
        publisher->m_client->finish(Clock::now() + std::chrono::milliseconds(waitMs));
}

void MqttPublisher::publish(const QByteArray &payload)
{
    publish(Payload([payload] { return payload; }));
}

void MqttPublisher::publish(Payload payload)
{
    m_client->publish(std::move(payload));
}

void MqttPublisher::finish(int waitMs)
{
    if (m_finished)
        return;
    if (!m_thread.joinable()) { // never started: nothing was sent
        QMetaObject::invokeMethod(
            this, [this] { reportFinished(pending()); }, Qt::QueuedConnection);
        return;
    }
    m_client->finish(Clock::now() + std::chrono::milliseconds(waitMs));
    const int guardMs = waitMs + kGraceMs;
    if (!m_guard.isActive() || m_guard.remainingTime() > guardMs)
        m_guard.start(guardMs);
}

void MqttPublisher::onEvent(const MqttClient::Event &event)
{
    if (m_finished)
        return;
    switch (event.kind) {
    case MqttClient::Event::Kind::Connected:
        emit connected();
        break;
    case MqttClient::Event::Kind::Unreachable:
        emit unreachable(event.reason);
        break;
    case MqttClient::Event::Kind::ConnectionLost:
        emit connectionLost(event.reason);
        break;
    case MqttClient::Event::Kind::Refused:
        emit refused(event.reason);
        break;
    case MqttClient::Event::Kind::Finished:
        reportFinished(event.undelivered);
        break;
    }
}

void MqttPublisher::reportFinished(qint64 undelivered)
{
    if (m_finished)
        return;
    m_finished = true;
    m_guard.stop();
    emit finished(undelivered);
}

qint64 MqttPublisher::dropped() const
{
    return m_client->dropped();
}

qint64 MqttPublisher::pending() const
{
    return m_client->pending();
}
