// klm704-cli publishing to a real Mosquitto broker, started by the test on 127.0.0.1.

#include "tests/testfiles.h"

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kWait = 30000;
const QString kName = QStringLiteral("bench 1");
const QString kReadings = QStringLiteral("lab/bench 1/reading");
const QString kStatus = QStringLiteral("lab/bench 1/status");

// Waits, serving events, until the condition holds; false when it has not after kWait.
template<typename Condition> bool waitFor(Condition condition)
{
    const QDeadlineTimer deadline(kWait);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(20);
    }
    return true;
}

// 0 when nothing listens on the port; with listen, the port of a fresh socket of its own.
int tcpPort(int port, bool listen)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(quint16(port));
    socklen_t size = sizeof address;
    const bool ok = listen
                        ? ::bind(fd, reinterpret_cast<sockaddr *>(&address), size) == 0 &&
                              ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &size) == 0
                        : ::connect(fd, reinterpret_cast<sockaddr *>(&address), size) == 0;
    ::close(fd);
    return ok ? ntohs(address.sin_port) : 0;
}

// A process whose standard output is read as lines.
class Program : public QProcess
{
public:
    Program(const QString &program, const QStringList &arguments,
            const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
    {
        setProcessEnvironment(environment);
        start(program, arguments);
    }
    ~Program() override
    {
        kill();
        waitForFinished();
    }
    int finish()
    {
        const bool ended = waitForFinished(kWait) && exitStatus() == QProcess::NormalExit;
        return ended ? exitCode() : -1;
    }
    QList<QByteArray> lines()
    {
        m_out += readAllStandardOutput();
        return m_out.split('\n').mid(0, m_out.count('\n'));
    }
    QString err() { return QString::fromLocal8Bit(m_err += readAllStandardError()); }

private:
    QByteArray m_out;
    QByteArray m_err;
};

// Mosquitto with a config file of its own, at a free port, its sessions kept across a restart.
class Broker
{
public:
    Broker()
        : m_port(tcpPort(0, true))
    {
        writeConfig(QStringLiteral("allow_anonymous true\n"));
    }
    // Only this user with this password may log in.
    bool requireLogin(const QString &user, const QString &password)
    {
        return QProcess::execute("mosquitto_passwd",
                                 {"-b", "-c", path("passwords"), user, password}) == 0 &&
               writeConfig("allow_anonymous false\npassword_file " + path("passwords") + '\n');
    }
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QString url() const { return QStringLiteral("mqtt://127.0.0.1:%1/lab").arg(m_port); }
    QStringList at() const { return {"-h", "127.0.0.1", "-p", QString::number(m_port)}; }

    bool start()
    {
        m_process = std::make_unique<Program>(QStringLiteral(MOSQUITTO_PATH),
                                              QStringList{"-c", path("mosquitto.conf")});
        return waitFor([this] { return tcpPort(m_port, false) != 0; });
    }
    // Ends it as a shutdown would (its sessions saved), and waits until it is gone.
    bool stop()
    {
        m_process->terminate();
        return m_process->finish() == 0;
    }

    // A subscriber with a session the broker keeps while it is away; its lines are the payloads.
    // Ready once a probe it has subscribed for has come back.
    std::unique_ptr<Program> subscribe(const QString &topic) const
    {
        auto subscriber = std::make_unique<Program>(
            "mosquitto_sub", at() + QStringList{"-t", topic, "-q", "1", "-c", "-i", "tst_mqtt"});
        bool probed = waitFor([&] {
            QProcess::execute("mosquitto_pub", at() + QStringList{"-t", topic, "-m", "probe"});
            return subscriber->lines().contains("probe");
        });
        return probed ? std::move(subscriber) : nullptr;
    }
    // The retained message of the topic, as a new subscriber gets it.
    QByteArray retained(const QString &topic) const
    {
        Program reader("mosquitto_sub", at() + QStringList{"-t", topic, "-C", "1", "-W", "5"});
        reader.finish();
        return reader.lines().value(0, "<none>");
    }

private:
    bool writeConfig(const QString &access)
    {
        // Started as root, Mosquitto would become another user that cannot read the test's files.
        const QString config =
            QStringLiteral("listener %1 127.0.0.1\npersistence true\n"
                           "persistence_location %2/\n%3%4")
                .arg(m_port)
                .arg(m_dir.path(), access, ::geteuid() == 0 ? QStringLiteral("user root\n") : "");
        return testfiles::writeAll(path("mosquitto.conf"), config.toUtf8());
    }

    QTemporaryDir m_dir;
    int m_port;
    std::unique_ptr<Program> m_process;
};

std::unique_ptr<Program>
cli(const Broker &broker, const QStringList &arguments,
    const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    return std::make_unique<Program>(
        QStringLiteral(KLM704_CLI_PATH),
        QStringList{"--device", "sim", "--rate", "0", "--name", kName, "--mqtt", broker.url()} +
            arguments,
        environment);
}

// The readings among the JSON lines, event lines left out.
QList<QByteArray> readingLines(const QList<QByteArray> &lines)
{
    QList<QByteArray> readings;
    for (const QByteArray &line : lines)
        if (!line.startsWith("{\"event\"") && line != "probe")
            readings.append(line);
    return readings;
}

// Each payload once, in the order first received: QoS 1 may bring one again after a restart.
QList<QByteArray> firstOfEach(const QList<QByteArray> &lines)
{
    QList<QByteArray> unique;
    for (const QByteArray &line : readingLines(lines))
        if (!unique.contains(line))
            unique.append(line);
    return unique;
}

} // namespace

class TestMqtt : public QObject
{
    Q_OBJECT
private slots:
    // Whatever the format on standard output, the broker gets each reading once, in order, as its
    // JSON object with the meter's name; the status is online during the run, offline after it.
    void everyReadingArrivesOnceInOrder_data()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("jsonl") << "jsonl";
        QTest::newRow("influx") << "influx";
    }
    void everyReadingArrivesOnceInOrder()
    {
        QFETCH(QString, format);
        Broker broker;
        QVERIFY(broker.start());
        const auto subscriber = broker.subscribe(kReadings);
        QVERIFY(subscriber);
        const auto run = cli(broker, {"--samples", "6", "--format", format});
        QVERIFY(waitFor([&] { return readingLines(subscriber->lines()).size() >= 1; }));
        QCOMPARE(broker.retained(kStatus), "online");
        QCOMPARE(run->finish(), 0);
        QVERIFY(waitFor([&] { return readingLines(subscriber->lines()).size() >= 6; }));
        QCOMPARE(broker.retained(kStatus), "offline"); // by now any seventh would be here too
        const QList<QByteArray> received = readingLines(subscriber->lines());
        QCOMPARE(received.size(), 6);
        const QList<QByteArray> written = readingLines(run->lines());
        QCOMPARE(written.size(), 6);
        for (int i = 0; i < received.size(); ++i) {
            const QJsonObject object = QJsonDocument::fromJson(received.at(i)).object();
            QCOMPARE(object.value("meter").toString(), kName);
            QCOMPARE(object.size(), 19);
            if (format == "jsonl") {
                QCOMPARE(received.at(i), written.at(i));
            } else { // the same time stamp, in nanoseconds at the end of the line
                const QDateTime time =
                    QDateTime::fromString(object["timestamp"].toString(), Qt::ISODateWithMs);
                QVERIFY(written.at(i).endsWith(
                    ' ' + QByteArray::number(time.toMSecsSinceEpoch() * 1000000)));
            }
        }
    }

    // A logger that dies without a goodbye leaves its last will: offline.
    void lastWillSaysOfflineAfterAKill()
    {
        Broker broker;
        QVERIFY(broker.start());
        const auto status = broker.subscribe(kStatus);
        QVERIFY(status);
        const auto run = cli(broker, {});
        QVERIFY(waitFor([&] { return status->lines().contains("online"); }));
        ::kill(pid_t(run->processId()), SIGKILL);
        QVERIFY(waitFor([&] { return status->lines().endsWith("offline"); }));
    }

    // Readings wait while the broker is away and follow in order when it is back; only a queue
    // that fills drops readings, the oldest first, and says how many.
    void readingsWaitWhileTheBrokerIsAway_data()
    {
        QTest::addColumn<QStringList>("queue");
        QTest::addColumn<int>("stopAfter");    // readings written before the broker goes
        QTest::addColumn<int>("restartAfter"); // readings written before it is back
        QTest::addColumn<int>("dropped");
        QTest::newRow("restart in the middle") << QStringList() << 3 << 9 << 0;
        QTest::newRow("small queue, away from the start")
            << QStringList{"--mqtt-queue", "4"} << 0 << 12 << 8;
    }
    void readingsWaitWhileTheBrokerIsAway()
    {
        QFETCH(QStringList, queue);
        QFETCH(int, stopAfter);
        QFETCH(int, restartAfter);
        QFETCH(int, dropped);
        Broker broker;
        QVERIFY(broker.start());
        const auto subscriber = broker.subscribe(kReadings);
        QVERIFY(subscriber);
        if (stopAfter == 0)
            QVERIFY(broker.stop());
        const auto run =
            cli(broker, queue + QStringList{"--samples", "12", "--stats", "--format", "jsonl"});
        const auto written = [&run](int count) {
            return waitFor([&] { return readingLines(run->lines()).size() >= count; });
        };
        if (stopAfter > 0) {
            QVERIFY(written(stopAfter));
            QVERIFY(broker.stop());
        }
        QVERIFY(written(restartAfter));
        QVERIFY(broker.start());
        QCOMPARE(run->finish(), 0);
        QVERIFY(waitFor([&] { return firstOfEach(subscriber->lines()).size() >= 12 - dropped; }));
        QCOMPARE(firstOfEach(subscriber->lines()), readingLines(run->lines()).mid(dropped));
        QVERIFY2(run->err().contains(QStringLiteral("mqtt dropped: %1\n").arg(dropped)),
                 qPrintable(run->err()));
        QCOMPARE(run->err().contains(QStringLiteral("MQTT: %1 readings dropped").arg(dropped)),
                 dropped > 0);
    }

    // The password from a file or the environment, never the command line; a refused login ends
    // the run with exit 1 and the broker's reason.
    void loginWithPassword_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("environment");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("file") << "secret 1\n"
                              << "wrong" << 0;
        QTest::newRow("environment, wrong") << ""
                                            << "wrong" << 1;
    }
    void loginWithPassword()
    {
        QFETCH(QString, file);
        QFETCH(QString, environment);
        QFETCH(int, exitCode);
        Broker broker;
        QVERIFY(broker.requireLogin("logger", "secret 1"));
        QVERIFY(broker.start());
        QStringList arguments = {"--samples", "2", "--mqtt-user", "logger"};
        if (!file.isEmpty()) {
            QVERIFY(testfiles::writeAll(broker.path("password"), file.toUtf8()));
            arguments << "--mqtt-password-file" << broker.path("password");
        }
        QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
        variables.insert("KLM704_MQTT_PASSWORD", environment);
        const auto run = cli(broker, arguments, variables);
        QCOMPARE(run->finish(), exitCode);
        const QString refusal = "The MQTT broker refused the login: Connection Refused: not "
                                "authorised.\n";
        QCOMPARE(run->err().contains(refusal), exitCode == 1);
        QCOMPARE(run->err().contains("MQTT connected"), exitCode == 0);
    }
};

QTEST_GUILESS_MAIN(TestMqtt)
#include "tst_mqtt.moc"
