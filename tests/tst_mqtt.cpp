// klm704-cli and the window publishing to a real Mosquitto broker, started by the test on
// 127.0.0.1, and to listeners that misbehave; the certificates are made by the test.

#include "tests/testfiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>
#include <numeric>

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kWait = 30000;
// What an end may take beyond its bound: the program's exit and the test noticing it.
constexpr int kSlackMs = 500;
const QString kName = QStringLiteral("bench 1");
const QString kReadings = QStringLiteral("lab/bench 1/reading");
const QString kStatus = QStringLiteral("lab/bench 1/status");
const QString kWaiting = QStringLiteral("MQTT: waiting up to");
// Under the address checker each instruction costs several; the processor time is held to its
// bound where the programs run at their own speed.
#ifdef __SANITIZE_ADDRESS__
constexpr bool kOwnSpeed = false;
#else
constexpr bool kOwnSpeed = true;
#endif

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
    // The exit code of a normal end, -1 for a crash or a hang. Events are served meanwhile, so
    // that the test's own listeners answer.
    int finish()
    {
        const bool ended = waitFor([this] { return state() == NotRunning; });
        return ended && exitStatus() == NormalExit ? exitCode() : -1;
    }
    // The complete lines written; with readingsOnly, no events.
    QList<QByteArray> lines(bool readingsOnly = true) const
    {
        const QByteArray out = testfiles::readAll(m_outFile);
        QList<QByteArray> lines;
        for (const QByteArray &line : out.split('\n').mid(0, out.count('\n')))
            if (!readingsOnly || !line.startsWith("{\"event"))
                lines << line;
        return lines;
    }
    QString err() { return m_err += QString::fromLocal8Bit(readAllStandardError()); }
    void signal(int number) { ::kill(pid_t(processId()), number); }
    // The processor time of its threads so far; a thread that has ended counts with what it had
    // used when last seen.
    double cpuMs()
    {
        const QDir tasks(QStringLiteral("/proc/%1/task").arg(processId()));
        for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            const QByteArray used = testfiles::readAll(tasks.filePath(task + "/schedstat"));
            m_taskNs[task] = std::max(m_taskNs[task], used.split(' ')[0].toLongLong());
        }
        return std::accumulate(m_taskNs.begin(), m_taskNs.end(), qint64(0)) / 1e6;
    }

private:
    QString m_outFile, m_err;
    QHash<QString, qint64> m_taskNs;
};

// The readings a subscriber has, each once, in order (QoS 1 may bring one again after a
// restart); one that arrived with another QoS than 1 keeps it in front and matches none sent.
QList<QByteArray> received(const Program &subscriber)
{
    QList<QByteArray> readings;
    for (const QByteArray &line : subscriber.lines()) {
        const QByteArray reading = line.startsWith("1 ") ? line.mid(2) : line;
        if (reading != "probe" && !readings.contains(reading))
            readings << reading;
    }
    return readings;
}

// What listens at the test's port: Mosquitto (its sessions kept across a restart; with TLS, a
// certificate for 127.0.0.1 or for other.example, and a plain port for the test's own clients),
// nothing, or a listener that resets each connection at once or never answers.
class Broker
{
public:
    enum class Kind
    {
        Mosquitto,
        OtherHost, // Mosquitto, its certificate for another host
        Closed,
        Reset,
        Silent
    };

    explicit Broker(Kind kind = Kind::Mosquitto, bool tls = false, const QString &certs = {})
        : m_kind(kind)
        , m_tls(tls)
    {
        QString access = QStringLiteral("allow_anonymous true\n");
        if (tls && kind <= Kind::OtherHost) {
            m_clientPort = freePort();
            access.prepend(QStringLiteral("certfile %1/%2.chain\nkeyfile %1/%2.key\n"
                                          "listener %3 127.0.0.1\n")
                               .arg(certs, kind == Kind::OtherHost ? "other" : "localhost")
                               .arg(m_clientPort));
        }
        writeConfig(access);
        QObject::connect(&m_listener, &QTcpServer::newConnection, [this] {
            while (QTcpSocket *connection = m_listener.nextPendingConnection()) {
                if (m_kind != Kind::Reset)
                    continue;
                const linger reset = {1, 0}; // closed at once, with a reset
                setsockopt(int(connection->socketDescriptor()), SOL_SOCKET, SO_LINGER, &reset,
                           sizeof reset);
                connection->abort();
            }
        });
    }
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
        if (m_kind >= Kind::Closed)
            return m_kind == Kind::Closed || m_listener.listen(QHostAddress::LocalHost, m_port);
        m_process = program(MOSQUITTO_PATH, {"-c", path("mosquitto.conf")});
        return waitFor([this] { return m_process->err().contains(" running\n"); }); // listening
    }
    // Ends it as a shutdown would (its sessions saved), and waits until it is gone.
    bool stop() { return m_process->terminate(), m_process->finish() == 0; }
    void hang(bool hung) { m_process->signal(hung ? SIGSTOP : SIGCONT); }
    // A subscriber that prints each message's QoS, with a session the broker keeps while it is
    // away, ready once a probe it has subscribed for has come back; none without Mosquitto.
    std::unique_ptr<Program> subscribe(const QString &topic)
    {
        if (m_kind >= Kind::Closed)
            return nullptr;
        auto subscriber = program(
            "mosquitto_sub", {"-t", topic, "-q", "1", "-c", "-i", "tst_mqtt", "-F", "%q %p"}, true);
        const bool probed = waitFor([&] {
            program("mosquitto_pub", {"-t", topic, "-m", "probe", "-q", "1"}, true)->finish();
            return subscriber->lines().contains("1 probe");
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
    std::unique_ptr<Program> window(QByteArray settings, const QString &journal)
    {
        qputenv("KLM704_SETTINGS_FILE", path("options.xml").toUtf8());
        testfiles::writeAll(path("options.xml"), settings.replace("URL", url().toUtf8()));
        return program(KLM704_WINDOW_PATH, {"--device", "sim", "--connect", "--journal", journal});
    }
    QString url() const
    {
        return QStringLiteral("%1://127.0.0.1:%2/lab").arg(m_tls ? "mqtts" : "mqtt").arg(m_port);
    }
    std::unique_ptr<Program> cli(const QStringList &arguments)
    {
        return program(KLM704_CLI_PATH, QStringList{"--device", "sim", "--rate", "0", "--name",
                                                    kName, "--mqtt", url(), "--format", "jsonl"} +
                                            arguments);
    }

private:
    // A port free on 127.0.0.1, as the system hands one out to a fresh socket.
    static int freePort()
    {
        QTcpServer server;
        return server.listen(QHostAddress::LocalHost) ? server.serverPort() : 0;
    }
    bool writeConfig(const QString &access)
    {
        // Started as root, Mosquitto would become another user that cannot read the test's files.
        const QString config =
            QStringLiteral("listener %1 127.0.0.1\npersistence true\n").arg(m_port) +
            "persistence_location " + m_dir.path() + "/\n" + access +
            (::geteuid() == 0 ? "user root\n" : "");
        return testfiles::writeAll(path("mosquitto.conf"), config.toUtf8());
    }
    // The client programs get the broker's plain port.
    std::unique_ptr<Program> program(const QString &name, QStringList arguments,
                                     bool client = false)
    {
        arguments += client ? QStringList{"-h", "127.0.0.1", "-p", QString::number(m_clientPort)}
                            : QStringList();
        return std::make_unique<Program>(name, arguments, path(QString::number(++m_files)));
    }

    const Kind m_kind;
    const bool m_tls;
    QTemporaryDir m_dir;
    const int m_port = freePort();
    int m_clientPort = m_port;
    int m_files = 0;
    QTcpServer m_listener;
    std::unique_ptr<Program> m_process;
};

// An authority "KLM test CA", an unrelated "Other CA", and broker certificates from the first:
// for 127.0.0.1 and for other.example, each in a chain file with the authority behind it.
bool makeCertificates(const QDir &dir)
{
    const auto openssl = [&dir](const QString &name, const QString &subject, QStringList more) {
        QProcess process;
        process.start("openssl",
                      QStringList{"req", "-x509", "-newkey", "ec", "-pkeyopt",
                                  "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2", "-subj",
                                  "/CN=" + subject, "-keyout", dir.filePath(name + ".key"), "-out",
                                  dir.filePath(name + ".crt")} +
                          more);
        return process.waitForFinished() && process.exitCode() == 0;
    };
    const auto broker = [&](const QString &name, const QString &alternative) {
        return openssl(name, alternative.section(':', 1),
                       {"-CA", dir.filePath("ca.crt"), "-CAkey", dir.filePath("ca.key"), "-addext",
                        "subjectAltName=" + alternative, "-addext", "basicConstraints=CA:FALSE"}) &&
               testfiles::writeAll(dir.filePath(name + ".chain"),
                                   testfiles::readAll(dir.filePath(name + ".crt")) +
                                       testfiles::readAll(dir.filePath("ca.crt")));
    };
    return openssl("ca", "KLM test CA", {}) && openssl("other-ca", "Other CA", {}) &&
           broker("localhost", "IP:127.0.0.1") && broker("other", "DNS:other.example");
}

// The readings of a journal folder: its files' lines without their headers.
int journaled(const QString &folder)
{
    int readings = 0;
    for (const QFileInfo &file : QDir(folder).entryInfoList({"*.csv"}))
        readings += testfiles::readAll(file.filePath()).count('\n') - 1;
    return readings;
}

// The count a message gives, e.g. "MQTT: 3 readings not delivered"; 0 without the message.
int countIn(const QString &text, const QString &message)
{
    return QRegularExpression("(\\d+) " + message).match(text).captured(1).toInt();
}

// How a run ended: how long after the mark (a signal, or else the announced wait for the
// broker; -1 without either), and the processor time it used from the mark to its last moment.
struct Ending
{
    qint64 endMs = -1;
    qint64 watchedMs = 0;
    double cpuMs = 0;
};

// Takes the steps (at N readings written or at the announced wait: stop or start the broker, or
// send a signal), then waits for the end; false when a step's moment or the end does not come.
bool runSteps(Program &run, Broker &broker, const QString &steps, Ending *ending)
{
    QElapsedTimer clock;
    clock.start();
    qint64 markMs = -1, lastMs = 0;
    double markCpuMs = 0, lastCpuMs = 0;
    const auto mark = [&] { markMs = clock.elapsed(), markCpuMs = run.cpuMs(); };
    for (const QString &step : steps.split(' ', Qt::SkipEmptyParts)) {
        const QString when = step.section(':', 0, 0), action = step.section(':', 1);
        if (!waitFor([&] {
                return when == "wait" ? run.err().contains(kWaiting)
                                      : run.lines().size() >= when.toInt();
            }))
            return false;
        if (action.startsWith("SIG"))
            run.signal(action == "SIGINT" ? SIGINT : SIGTERM), mark();
        else if (!(action == "stop" ? broker.stop() : broker.start()))
            return false;
    }
    const bool ended = waitFor([&] {
        if (markMs < 0 && run.err().contains(kWaiting))
            mark();
        if (run.state() != QProcess::NotRunning)
            lastMs = clock.elapsed(), lastCpuMs = run.cpuMs();
        return run.state() == QProcess::NotRunning;
    });
    if (markMs >= 0)
        *ending = {clock.elapsed() - markMs, lastMs - markMs, lastCpuMs - markCpuMs};
    return ended;
}

} // namespace

class TestMqtt : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_certs;

private slots:
    void initTestCase() { QVERIFY(makeCertificates(QDir(m_certs.path()))); }

    // With influx lines on standard output, the broker gets each reading once, in order, as its
    // JSON line with the meter's name; the status is online during the run, offline after it
    // (after a kill by the last will); the window publishes too.
    void everyReadingArrivesOnceInOrder()
    {
        Broker broker;
        const auto subscriber = broker.start() ? broker.subscribe(kReadings) : nullptr;
        QVERIFY(subscriber);
        const auto run = broker.cli({"--samples", "6", "--format", "influx"});
        QVERIFY(waitFor([&] { return !received(*subscriber).isEmpty(); }));
        QCOMPARE(broker.retained(kStatus), "online");
        QCOMPARE(run->finish(), 0);
        QVERIFY(waitFor([&] { return received(*subscriber).size() >= 6; }));
        QCOMPARE(broker.retained(kStatus), "offline"); // by now any seventh would be here too
        QCOMPARE(subscriber->lines().size() - subscriber->lines().count("1 probe"), 6);
        for (int i = 0; i < 6; ++i) { // the same time stamp ends the influx line, in nanoseconds
            const QJsonObject object = QJsonDocument::fromJson(received(*subscriber)[i]).object();
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
        killed->signal(SIGKILL);
        QVERIFY(waitFor([&] { return broker.retained(kStatus) == "offline"; }));
        // The window publishes the readings it records when its settings name a broker. Closed
        // (here by SIGTERM) while the broker hangs, it does not wait for the broker (the note of
        // its running recording is gone at once), it ends within the 2 s that the publisher
        // gives the broker, and the broker, once back, has the offline status.
        const int before = received(*subscriber).size();
        QTemporaryDir journal;
        const auto window =
            broker.window("<options><MqttUrl>URL</MqttUrl><MqttName>bench 1</MqttName></options>",
                          journal.path());
        QVERIFY(waitFor([&] { return received(*subscriber).size() >= before + 2; }));
        const QJsonObject object = QJsonDocument::fromJson(received(*subscriber)[before]).object();
        QCOMPARE(object.value("meter").toString() + object.value("functionName").toString(),
                 kName + "DCV");
        QCOMPARE(broker.retained(kStatus), "online");
        broker.hang(true);
        const QString note = journal.filePath("running");
        QVERIFY(waitFor([&] { return journaled(journal.path()) >= 4; }) && QFile::exists(note));
        QElapsedTimer clock;
        clock.start();
        window->terminate();
        QVERIFY(waitFor([&] { return !QFile::exists(note); }));
        const qint64 closedMs = clock.elapsed();
        QCOMPARE(window->finish(), 0);
        const qint64 endedMs = clock.elapsed();
        broker.hang(false);
        qInfo("window closed %lld ms and ended %lld ms after SIGTERM", closedMs, endedMs);
        QVERIFY(closedMs < 1000 && endedMs <= 2000 + 300 + kSlackMs); // its wait, its grace
        QVERIFY(waitFor([&] { return broker.retained(kStatus) == "offline"; }));
    }

    // Each fault and each signal in each phase: the exit status; the end within its bound (the
    // wait for the broker from its announcement, 2 s from a signal); at most 1% of a core while
    // the end waits and retries; the reason on standard error; the stream's last event says why;
    // and every reading journaled was delivered with QoS 1 or is counted as undelivered.
    void faultsEndInTime_data()
    {
        QTest::addColumn<int>("listener");
        QTest::addColumn<bool>("tls");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("reason");
        using K = Broker::Kind;
        const auto row = [](const QByteArray &name, K kind, bool tls, const QStringList &arguments,
                            const QString &steps, int status, const QString &reason) {
            QTest::newRow(name.constData())
                << int(kind) << tls << arguments << steps << status << reason;
        };
        const QStringList three = {"--samples", "3", "--mqtt-wait", "2"};
        const QString untrusted = "(the certificate authority \"KLM test CA\" is not trusted here)";
        row("closed port", K::Closed, false, three, "", 3, "not reachable: Connection refused;");
        row("closed port, TLS", K::Closed, true, three, "", 3,
            "not reachable: Connection refused;");
        row("broker back", K::Mosquitto, false, {"--samples", "12"}, "3:stop 9:start", 0,
            "lost: the broker closed the connection;");
        row("broker gone", K::Mosquitto, false, {"--samples", "6", "--mqtt-wait", "2"}, "3:stop", 3,
            "MQTT: waiting up to 2 s for the broker to take 3 readings");
        row("queue full", K::Mosquitto, false, {"--samples", "12", "--mqtt-queue", "4"},
            "0:stop wait:start", 3, "MQTT: 8 readings dropped");
        row("reset", K::Reset, false, three, "", 3, "not reachable: Connection reset by peer;");
        row("reset, TLS", K::Reset, true, three, "", 3, "not reachable: Connection reset by peer;");
        row("TLS", K::Mosquitto, true, {"--samples", "3", "--mqtt-ca", "ca.crt"}, "", 0,
            "MQTT connected to");
        row("TLS, untrusted CA", K::Mosquitto, true,
            three + QStringList{"--mqtt-ca", "other-ca.crt"}, "", 3,
            "certificate verify failed: self-signed certificate in certificate chain " + untrusted);
        row("TLS, other host", K::OtherHost, true, three + QStringList{"--mqtt-ca", "ca.crt"}, "",
            3, "the broker's certificate is for other.example, not 127.0.0.1;");
        row("TLS, no CA", K::Mosquitto, true, three, "", 3, untrusted);
        for (const QString signal : {"SIGINT", "SIGTERM"}) {
            const QString stopped = "stopped by " + signal;
            row((signal + " connecting").toLatin1(), K::Silent, false, {}, "3:" + signal, 3,
                stopped);
            row((signal + " running").toLatin1(), K::Mosquitto, false, {}, "3:" + signal, 0,
                stopped);
            row((signal + " retrying").toLatin1(), K::Mosquitto, false, {}, "3:stop 6:" + signal, 3,
                stopped);
            row((signal + " waiting").toLatin1(), K::Closed, false, {"--samples", "3"},
                "wait:" + signal, 3, stopped);
        }
    }

    void faultsEndInTime()
    {
        QFETCH(int, listener);
        QFETCH(bool, tls);
        QFETCH(QStringList, arguments);
        QFETCH(QString, steps);
        for (QString &argument : arguments)
            if (argument.endsWith(".crt"))
                argument = m_certs.filePath(argument);
        Broker broker(Broker::Kind(listener), tls, m_certs.path());
        const auto subscriber = broker.start() ? broker.subscribe(kReadings) : nullptr;
        QTemporaryDir journal;
        const auto run = broker.cli(arguments + QStringList{"--journal", journal.path()});
        Ending ending;
        QVERIFY2(runSteps(*run, broker, steps, &ending), qPrintable(run->err()));
        const QString err = run->err();
        QFETCH(int, status);
        QCOMPARE(run->exitCode(), status);
        QFETCH(QString, reason);
        QVERIFY2(err.contains(reason), qPrintable(err));
        const bool signalled = steps.contains("SIG");
        const int waitMs = arguments.contains("--mqtt-wait") ? 2000 : 15000;
        const double cpuShare = ending.cpuMs / std::max<qint64>(ending.watchedMs, 1);
        qInfo("exit %d, ended %lld ms after the %s, %.1f ms of processor in %lld ms (%.2f%%)",
              run->exitCode(), ending.endMs, signalled ? "signal" : "wait", ending.cpuMs,
              ending.watchedMs, cpuShare * 100);
        QVERIFY2(ending.endMs >= 0 || status == 0, qPrintable(err)); // no wait announced, none due
        QVERIFY(ending.endMs <= (signalled ? 2000 : waitMs + kSlackMs));
        if (!signalled && countIn(err, "readings not delivered") > 0) // waited for the broker
            QVERIFY(ending.endMs >= waitMs - 100);
        if (kOwnSpeed && !signalled && ending.watchedMs >= 1000)
            QVERIFY(cpuShare <= 0.01);
        // The signal in the wait comes after the samples have ended the link.
        const QByteArray ended = arguments.contains("--samples") ? "samples" : "signal";
        QVERIFY(run->lines(false).constLast().contains("\"reason\":\"" + ended + '"'));
        const QList<QByteArray> written = run->lines();
        QCOMPARE(journaled(journal.path()), written.size());
        const int undelivered =
            countIn(err, "readings not delivered") + countIn(err, "readings dropped");
        QCOMPARE(undelivered > 0, status == 3);
        const auto delivered = [&] {
            return subscriber ? received(*subscriber) : QList<QByteArray>();
        };
        QVERIFY(waitFor([&] { return written.size() - delivered().size() <= undelivered; }));
        for (const QByteArray &reading : delivered())
            QVERIFY2(written.contains(reading), reading.constData());
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
