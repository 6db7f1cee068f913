// klm704-cli as a user runs it, on its virtual meter and on the simulator's serial line.

#include "tests/influxline.h"
#include "tests/simulatorprocess.h"
#include "tests/testfiles.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

namespace {

constexpr int kWait = 30000; // generous for a loaded machine; a run takes about a second
const QRegularExpression kTimeOfMessage("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d ");

// The program while it runs, collecting what it writes.
class CliProcess : public QProcess
{
public:
    explicit CliProcess(const QStringList &arguments)
    {
        start(QStringLiteral(KLM704_CLI_PATH), arguments);
    }
    ~CliProcess() override
    {
        kill();
        waitForFinished();
    }
    void signal(int number) { ::kill(pid_t(processId()), number); }
    // The exit code of a normal end, -1 for a crash or a hang.
    int finish()
    {
        const bool ended = waitForFinished(kWait) && exitStatus() == QProcess::NormalExit;
        return ended ? exitCode() : -1;
    }
    QByteArray out() { return m_out += readAllStandardOutput(); }
    QString err() { return QString::fromLocal8Bit(m_err += readAllStandardError()); }
    // The lines of output that end with a line feed.
    QList<QByteArray> lines()
    {
        const QByteArray text = out();
        return text.split('\n').mid(0, text.count('\n'));
    }
    QStringList messages(const QString &text) { return err().split('\n').filter(text); }
    // The names of the events among the JSON lines, each with its reason if it has one.
    QStringList events()
    {
        QStringList names;
        for (const QByteArray &line : lines()) {
            const QJsonObject event = QJsonDocument::fromJson(line).object();
            if (event.contains("event"))
                names << (event["event"].toString() + ' ' + event["reason"].toString()).trimmed();
        }
        return names;
    }

private:
    QByteArray m_out;
    QByteArray m_err;
};

} // namespace

class TestCli : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    int m_silentLine = -1; // a pseudo-terminal that nobody answers

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_silentLine = posix_openpt(O_RDWR | O_NOCTTY);
        QVERIFY(m_silentLine >= 0 && grantpt(m_silentLine) == 0 && unlockpt(m_silentLine) == 0);
    }
    void cleanupTestCase() { ::close(m_silentLine); }

    // An interrupted run ends with whole lines, each a valid line of its format, and the summary of
    // exactly those readings.
    void interruptEndsCleanly()
    {
        CliProcess cli({"--device", "sim", "--rate", "0", "--format", "influx", "--stats"});
        QTRY_VERIFY_WITH_TIMEOUT(cli.lines().size() >= 5, kWait);
        cli.signal(SIGTERM);
        QCOMPARE(cli.finish(), 0);
        for (const QByteArray &line : cli.lines()) {
            const InfluxLine parsed = parseInflux(QString::fromUtf8(line + '\n'));
            QVERIFY2(parsed.ok && parsed.tags.value("model") == "VX310A", line.constData());
        }
        QVERIFY(cli.err().contains(QStringLiteral("readings: %1\n").arg(cli.lines().size())));
    }

    void serialLinkLossEndsTheRunWithFailure()
    {
        SimulatorProcess simulator;
        QVERIFY(simulator.start());
        CliProcess cli({"--device", simulator.device(), "--rate", "0"});
        QTRY_VERIFY_WITH_TIMEOUT(cli.lines().size() >= 4, kWait);
        simulator.unplug();
        QCOMPARE(cli.finish(), 1);
        QCOMPARE(cli.messages("lost").filter(kTimeOfMessage).size(), 1);
    }

    void reconnectsAfterReplug()
    {
        const QString link = m_dir.filePath("meter-replugged");
        SimulatorProcess simulator;
        QVERIFY(simulator.start({"--link", link}));
        CliProcess cli(
            {"--device", "serial:" + link, "--reconnect", "--rate", "0", "--format", "jsonl"});
        QTRY_VERIFY_WITH_TIMEOUT(cli.lines().size() >= 4, kWait); // connected and 3 readings
        simulator.unplug();
        QTRY_COMPARE_WITH_TIMEOUT(cli.events(),
                                  QStringList({"connected", "disconnected link lost"}), kWait);
        const int before = cli.lines().size();
        QVERIFY(simulator.plugIn());
        QTRY_COMPARE_WITH_TIMEOUT(
            cli.events(), QStringList({"connected", "disconnected link lost", "connected"}), kWait);
        QTRY_VERIFY_WITH_TIMEOUT(cli.lines().size() >= before + 4, kWait);
        cli.signal(SIGINT); // Ctrl+C ends a run as SIGTERM does
        QCOMPARE(cli.finish(), 0);
        QCOMPARE(cli.events().constLast(), "disconnected signal");
        // No reading comes between the loss and the reconnection.
        QCOMPARE(cli.lines().mid(before - 1, 2).join('\n').count("\"event\""), 2);
        // Each connection and loss is reported once, with its time.
        const QStringList reports = cli.messages("serial:" + link);
        QCOMPARE(reports.filter(kTimeOfMessage).size(), 3);
        QVERIFY(reports.size() == 3 && reports.at(1).contains("lost"));
    }

    // Nothing is logged, and each reason (after a bar) is told once; a run that never connected or
    // never had a reading failed.
    void answersWithoutLogging_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        const auto row = [](const char *name, const QStringList &arguments, int exitCode,
                            const QString &message) {
            QTest::newRow(name) << arguments << exitCode << message;
        };
        row("unknown option", {"--bogus"}, 2, "Try 'klm704-cli --help'.");
        row("unknown device", {"--device", "usb"}, 2,
            "Unknown device \"usb\"; use auto, sim, serial:PATH, cp2110, ch9329.");
        row("unknown model", {"--model", "XYZ"}, 2,
            "Unknown model \"XYZ\"; use VX310A, VX310E, VX52C+.");
        row("limit not a number", {"--high", "5,005"}, 2, "--high needs a number such as 5.005");
        row("low above high", {"--low", "6", "--high", "5"}, 2,
            "--low 6 is above --high 5: every reading would raise an alarm");
        const QString missing = "serial:" + m_dir.filePath("no-such-port");
        row("cannot open, says why", {"--device", missing}, 1, "Failed to open device.|not found");
        row("silent meter",
            {"--device", QStringLiteral("serial:") + ptsname(m_silentLine), "--time", "5.5",
             "--format", "influx"},
            1, "does not answer|no reading received");
    }

    void answersWithoutLogging()
    {
        QFETCH(QStringList, arguments);
        CliProcess cli(arguments);
        QTEST(cli.finish(), "exitCode");
        QCOMPARE(cli.out(), QByteArray());
        QFETCH(QString, message);
        for (const QString &reason : message.split('|'))
            QCOMPARE(cli.messages(reason).size(), 1);
    }

    // Killed mid-recording, the program leaves a journal of whole lines holding every reading it
    // had written out.
    void journalHoldsEveryReportedReadingAfterKill()
    {
        const QString journal = m_dir.filePath("killed");
        CliProcess cli({"--device", "sim", "--rate", "0", "--journal", journal});
        QTRY_VERIFY_WITH_TIMEOUT(cli.lines().size() >= 21, kWait);
        cli.signal(SIGKILL);
        QCOMPARE(cli.finish(), -1);
        QVERIFY(cli.out().endsWith('\n'));
        const QStringList files = QDir(journal).entryList({"*.csv"}, QDir::Files);
        QCOMPARE(files.size(), 1);
        const QByteArray kept = testfiles::readAll(QDir(journal).filePath(files.first()));
        QVERIFY(kept.startsWith(cli.out()) && kept.endsWith('\n'));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
