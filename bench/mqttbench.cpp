#include "bench/mqttbench.h"

#include "bench/bench.h"
#include "bench/windowbench.h"
#include "mqtt/mqttpublisher.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <mosquitto.h>
#include <mutex>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kReadings = 1000;
constexpr int kGapUs = 2000; // between readings handed over, well above the meter's pace
constexpr int kBenchPort = 18884;
constexpr int kWaitMs = 10000;

using Clock = std::chrono::steady_clock;

// Serves events until done() holds or the time is up.
template<typename Done> bool serveUntil(Done done)
{
    const QDeadlineTimer deadline(kWaitMs);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(500);
    }
    return done();
}

// Notes the arrival time of every message on its topic, on the client library's own thread.
class Subscriber
{
public:
    Subscriber(const MqttSettings &settings)
    {
        m_mosq = mosquitto_new(nullptr, true, this);
        mosquitto_connect_callback_set(m_mosq, [](mosquitto *mosq, void *, int) {
            mosquitto_subscribe(mosq, nullptr, "bench/+/reading", 1);
        });
        mosquitto_subscribe_callback_set(m_mosq,
                                         [](mosquitto *, void *self, int, int, const int *) {
                                             static_cast<Subscriber *>(self)->m_ready = true;
                                         });
        mosquitto_message_callback_set(m_mosq,
                                       [](mosquitto *, void *self, const mosquitto_message *) {
                                           auto *subscriber = static_cast<Subscriber *>(self);
                                           std::lock_guard<std::mutex> lock(subscriber->m_mutex);
                                           subscriber->m_arrivals.push_back(Clock::now());
                                       });
        mosquitto_connect(m_mosq, settings.host.toUtf8().constData(), settings.port, 30);
        mosquitto_loop_start(m_mosq);
    }
    ~Subscriber()
    {
        mosquitto_disconnect(m_mosq);
        mosquitto_loop_stop(m_mosq, false);
        mosquitto_destroy(m_mosq);
    }
    bool ready() const { return m_ready; }
    std::vector<Clock::time_point> arrivals()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_arrivals;
    }

private:
    mosquitto *m_mosq = nullptr;
    std::atomic<bool> m_ready{false};
    std::mutex m_mutex;
    std::vector<Clock::time_point> m_arrivals;
};

double median(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return samples.empty() ? -1 : samples[samples.size() / 2];
}

void benchDelivery(Bench &bench, const MqttSettings &settings)
{
    Subscriber subscriber(settings);
    MqttPublisher publisher(settings);
    bool connected = false;
    QObject::connect(&publisher, &MqttPublisher::connected, [&connected] { connected = true; });
    QString error;
    if (!publisher.start(&error) || !serveUntil([&] { return connected && subscriber.ready(); })) {
        qWarning("No broker to publish to: %s", qPrintable(error));
        return;
    }
    const QByteArray payload(400, 'x'); // about the size of a reading's JSON line
    std::vector<Clock::time_point> sent;
    sent.reserve(kReadings);
    std::vector<double> calls; // the time publish() takes the caller
    for (int i = 0; i < kReadings; ++i) {
        sent.push_back(Clock::now());
        publisher.publish(payload);
        calls.push_back(
            std::chrono::duration<double, std::micro>(Clock::now() - sent.back()).count());
        QThread::usleep(kGapUs);
    }
    serveUntil([&] { return int(subscriber.arrivals().size()) >= kReadings; });
    const std::vector<Clock::time_point> arrivals = subscriber.arrivals();
    std::vector<double> delays;
    for (size_t i = 0; i < std::min(arrivals.size(), sent.size()); ++i)
        delays.push_back(std::chrono::duration<double, std::milli>(arrivals[i] - sent[i]).count());
    bench.report(QStringLiteral("mqtt_publish_call_us"), median(calls), QStringLiteral("us"));
    bench.report(QStringLiteral("mqtt_delivered"), double(arrivals.size()),
                 QStringLiteral("readings"));
    bench.report(QStringLiteral("mqtt_delivery_ms"), median(delays), QStringLiteral("ms"));
    std::sort(delays.begin(), delays.end());
    bench.report(QStringLiteral("mqtt_delivery_p99_ms"),
                 delays.empty() ? -1 : delays[delays.size() * 99 / 100], QStringLiteral("ms"));
}

} // namespace

void runMqttBenchmarks(Bench &bench)
{
    const QString given = qEnvironmentVariable("KLM704_BENCH_MQTT");
    QTemporaryDir dir;
    QProcess broker;
    MqttSettings settings;
    QString error;
    settings.name = QStringLiteral("klm704-bench");
    if (!given.isEmpty()) {
        if (!MqttSettings::fromUrl(given, &settings, &error)) {
            qWarning("KLM704_BENCH_MQTT: %s", qPrintable(error));
            return;
        }
    } else {
        const QString program = QStandardPaths::findExecutable(
            QStringLiteral("mosquitto"), {"/usr/sbin", "/usr/local/sbin", "/usr/bin"});
        QFile config(dir.filePath(QStringLiteral("mosquitto.conf")));
        config.open(QIODevice::WriteOnly);
        config.write(QByteArray("listener ") + QByteArray::number(kBenchPort) +
                     " 127.0.0.1\nallow_anonymous true\n" + (geteuid() == 0 ? "user root\n" : ""));
        config.close();
        broker.start(program, {"-c", config.fileName()});
        if (!broker.waitForStarted()) {
            qWarning("Cannot start mosquitto (%s)", qPrintable(program));
            return;
        }
        settings.host = QStringLiteral("127.0.0.1");
        settings.port = kBenchPort;
    }
    settings.prefix = QStringLiteral("bench");
    benchDelivery(bench, settings);
    benchRecordStepWithMqtt(
        bench, QStringLiteral("mqtt://%1:%2/bench").arg(settings.host).arg(settings.port));
    broker.terminate();
    broker.waitForFinished();
}
