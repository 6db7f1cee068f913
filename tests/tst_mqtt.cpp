// klm704-cli publishing to a real Mosquitto broker, started by the test on 127.0.0.1.

#include "tests/testfiles.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include <signal.h>
#include <unistd.h>

namespace {

constexpr int kWait = 30000;
const QString kName = QStringLiteral("bench 1");
const QString kReadings = QStringLiteral("lab/bench 1/reading");
const QString kStatus = QStringLiteral("lab/bench 1/status");

// Waits, serving events, until the condition holds; false when it has not after kWait.
const auto waitFor = [](auto condition) { return QTest::qWaitFor(condition, kWait); };

// A program whose standard output goes to a file; killed when it is destroyed.
class Program : public QProcess
{
public:
    Program(const QString &program, const QStringList &arguments, const QString &outFile)
        : m_outFile(outFile)
    {
        setStandardOutputFile(outFile);
        start(program, arguments);
    }
    ~Program() override { kill(), waitForFinished(); }
    int finish() { return waitForFinished(kWait) && exitStatus() == NormalExit ? exitCode() : -1; }
    // The complete lines written; with readingsOnly, neither events nor the subscriber's probes,
    // and each line once, as first seen: QoS 1 may bring one again after a restart.
    QList<QByteArray> lines(bool readingsOnly = true) const
    {
        const QByteArray out = testfiles::readAll(m_outFile);
        QList<QByteArray> lines;
        for (const QByteArray &line : out.split('\n').mid(0, out.count('\n')))
            if (!readingsOnly ||
                (line != "probe" && !line.startsWith("{\"event") && !lines.contains(line)))
                lines << line;
        return lines;
    }
    QString err() { return m_err += QString::fromLocal8Bit(readAllStandardError()); }

private:
    QString m_outFile, m_err;
};

// Mosquitto with a config file of its own, at a free port, its sessions kept across a restart.
class Broker
{
public:
    Broker() { writeConfig(QStringLiteral("allow_anonymous true\n")); }
    // Only this user with this password may log in.
    bool requireLogin(const QString &user, const QString &password)
    {
        return QProcess::execute("mosquitto_passwd",
                                 {"-b", "-c", path("passwords"), user, password}) == 0 &&
               writeConfig("allow_anonymous false\npassword_file " + path("passwords") + '\n');
    }
    QString path(const QString &name) const { return m_dir.filePath(name); }
    bool start()
    {
        m_process = program(MOSQUITTO_PATH, {"-c", path("mosquitto.conf")});
        return waitFor([this] { return m_process->err().contains(" running\n"); }); // listening
    }
    // Ends it as a shutdown would (its sessions saved), and waits until it is gone.
    bool stop() { return m_process->terminate(), m_process->finish() == 0; }
    // A subscriber with a session the broker keeps while it is away, ready once a probe it has
    // subscribed for has come back.
    std::unique_ptr<Program> subscribe(const QString &topic)
    {
        auto subscriber =
            program("mosquitto_sub", {"-t", topic, "-q", "1", "-c", "-i", "tst_mqtt"}, true);
        const bool probed = waitFor([&] {
            program("mosquitto_pub", {"-t", topic, "-m", "probe"}, true)->finish();
            return subscriber->lines(false).contains("probe");
        });
        return probed ? std::move(subscriber) : nullptr;
    }
    // The retained message of the topic, as a new subscriber gets it.
    QByteArray retained(const QString &topic)
    {
        const auto reader = program("mosquitto_sub", {"-t", topic, "-C", "1", "-W", "5"}, true);
        return reader->finish(), reader->lines().value(0, "<none>");
    }
    // The window (offscreen, as every test here runs), publishing as its settings file says.
    std::unique_ptr<Program> window(QByteArray settings)
    {
        qputenv("KLM704_SETTINGS_FILE", path("options.xml").toUtf8());
        testfiles::writeAll(path("options.xml"), settings.replace("URL", url().toUtf8()));
        return program(KLM704_WINDOW_PATH, {"--device", "sim", "--connect", "--no-journal"});
    }
    QString url() const { return QStringLiteral("mqtt://127.0.0.1:%1/lab").arg(m_port); }
    std::unique_ptr<Program> cli(const QStringList &arguments)
    {
        return program(KLM704_CLI_PATH, QStringList{"--device", "sim", "--rate", "0", "--name",
                                                    kName, "--mqtt", url(), "--format", "jsonl"} +
                                            arguments);
    }

private:
    bool writeConfig(const QString &access)
    {
        // Started as root, Mosquitto would become another user that cannot read the test's files.
        const QString config =
            QStringLiteral("listener %1 127.0.0.1\npersistence true\n").arg(m_port) +
            "persistence_location " + m_dir.path() + "/\n" + access +
            (::geteuid() == 0 ? "user root\n" : "");
        return testfiles::writeAll(path("mosquitto.conf"), config.toUtf8());
    }
    // The client programs get the broker's address.
    std::unique_ptr<Program> program(const QString &name, QStringList arguments,
                                     bool client = false)
    {
        arguments +=
            client ? QStringList{"-h", "127.0.0.1", "-p", QString::number(m_port)} : QStringList();
        return std::make_unique<Program>(name, arguments, path(QString::number(++m_files)));
    }

    QTemporaryDir m_dir;
    // A port free on 127.0.0.1, as the system hands one out to a fresh socket.
    const int m_port = [] {
        QTcpServer server;
        return server.listen(QHostAddress::LocalHost) ? server.serverPort() : 0;
    }();
    int m_files = 0;
    std::unique_ptr<Program> m_process;
};

} // namespace

class TestMqtt : public QObject
{
    Q_OBJECT
private slots:
    // With influx lines on standard output, the broker gets each reading once, in order, as its
    // JSON line with the meter's name; the status is online during the run, offline after it
    // (after a kill by the last will).
    void everyReadingArrivesOnceInOrder()
    {
        Broker broker;
        const auto subscriber = broker.start() ? broker.subscribe(kReadings) : nullptr;
        QVERIFY(subscriber);
        const auto run = broker.cli({"--samples", "6", "--format", "influx"});
        QVERIFY(waitFor([&] { return !subscriber->lines().isEmpty(); }));
        QCOMPARE(broker.retained(kStatus), "online");
        QCOMPARE(run->finish(), 0);
        QVERIFY(waitFor([&] { return subscriber->lines().size() >= 6; }));
        QCOMPARE(broker.retained(kStatus), "offline"); // by now any seventh would be here too
        const QList<QByteArray> received = subscriber->lines(), all = subscriber->lines(false);
        QCOMPARE(all.size() - all.count("probe"), 6); // not one twice
        for (int i = 0; i < 6; ++i) { // the same time stamp ends the influx line, in nanoseconds
            const QJsonObject object = QJsonDocument::fromJson(received.at(i)).object();
            QCOMPARE(object.size(), 19);
            QCOMPARE(object.value("meter").toString(), kName);
            const QDateTime time =
                QDateTime::fromString(object["timestamp"].toString(), Qt::ISODateWithMs);
            QVERIFY(run->lines().at(i).endsWith(
                ' ' + QByteArray::number(time.toMSecsSinceEpoch() * 1000000)));
        }
        // A logger that dies without a goodbye leaves its last will.
        const auto killed = broker.cli({});
        QVERIFY(waitFor([&] { return broker.retained(kStatus) == "online"; }));
        ::kill(pid_t(killed->processId()), SIGKILL);
        QVERIFY(waitFor([&] { return broker.retained(kStatus) == "offline"; }));
        // The window publishes the readings it records when its settings name a broker, and says
        // offline when it is closed (here by SIGTERM).
        const int before = subscriber->lines().size();
        const auto window =
            broker.window("<options><MqttUrl>URL</MqttUrl><MqttName>bench 1</MqttName></options>");
        QVERIFY(waitFor([&] { return subscriber->lines().size() >= before + 2; }));
        const QJsonObject object =
            QJsonDocument::fromJson(subscriber->lines().at(before + 1)).object();
        QCOMPARE(object.value("meter").toString() + object.value("functionName").toString(),
                 kName + "DCV");
        QCOMPARE(broker.retained(kStatus), "online");
        window->terminate();
        QCOMPARE(window->finish(), 0);
        QCOMPARE(broker.retained(kStatus), "offline");
    }

    // Readings wait while the broker is away and follow in order when it is back; only a queue
    // that fills drops readings, the oldest first, and says how many.
    void readingsWaitWhileTheBrokerIsAway()
    {
        for (const QStringList &queue : {QStringList(), QStringList{"--mqtt-queue", "4"}}) {
            // Readings written before the broker goes and before it is back, and those dropped.
            const int stopAfter = queue.isEmpty() ? 3 : 0, restartAfter = queue.isEmpty() ? 9 : 12,
                      dropped = queue.isEmpty() ? 0 : 8;
            Broker broker;
            const auto subscriber = broker.start() ? broker.subscribe(kReadings) : nullptr;
            QVERIFY(subscriber && (stopAfter > 0 || broker.stop()));
            const auto run = broker.cli(queue + QStringList{"--samples", "12", "--stats"});
            QVERIFY(waitFor([&] { return run->lines().size() >= stopAfter; }));
            QVERIFY(stopAfter == 0 || broker.stop());
            QVERIFY(waitFor([&] { return run->lines().size() >= restartAfter; }));
            QVERIFY(broker.start());
            QCOMPARE(run->finish(), 0);
            QVERIFY(waitFor([&] { return subscriber->lines().size() >= 12 - dropped; }));
            QCOMPARE(subscriber->lines(), run->lines().mid(dropped));
            QVERIFY2(run->err().contains(QStringLiteral("mqtt dropped: %1\n").arg(dropped)),
                     qPrintable(run->err()));
            QCOMPARE(run->err().contains(QStringLiteral("MQTT: %1 readings dropped").arg(dropped)),
                     dropped > 0);
        }
    }

    // The password from a file (before the environment) or the environment, never the command
    // line; a refused login ends the run with exit 1 and the broker's reason.
    void loginWithPassword()
    {
        Broker broker;
        QVERIFY(broker.requireLogin("logger", "secret 1") && broker.start());
        QVERIFY(testfiles::writeAll(broker.path("password"), "secret 1\n"));
        qputenv("KLM704_MQTT_PASSWORD", "wrong"); // the file comes first
        const QStringList login = {"--samples", "2", "--mqtt-user", "logger"};
        const auto right =
            broker.cli(login + QStringList{"--mqtt-password-file", broker.path("password")});
        QCOMPARE(right->finish(), 0);
        const auto wrong = broker.cli(login);
        QCOMPARE(wrong->finish(), 1);
        const QString refused =
            "The MQTT broker refused the login: Connection Refused: not authorised.\n";
        QVERIFY(!right->err().contains(refused));
        QVERIFY2(wrong->err().contains(refused), qPrintable(wrong->err()));
        qunsetenv("KLM704_MQTT_PASSWORD");
    }
};

QTEST_GUILESS_MAIN(TestMqtt)
#include "tst_mqtt.moc"
