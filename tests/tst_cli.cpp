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
#include <numeric>

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
    // The JSON lines of readings, and the names of the events among them.
    QList<QJsonObject> json(QStringList *events = nullptr)
    {
        QList<QJsonObject> readings;
        for (const QByteArray &line : lines()) {
            const QJsonObject object = QJsonDocument::fromJson(line).object();
            if (!object.contains("event"))
                readings.append(object);
            else if (events)
                events->append(object["event"].toString());
        }
        return readings;
    }
    QStringList events()
    {
        QStringList names;
        json(&names);
        return names;
    }

private:
    QByteArray m_out;
    QByteArray m_err;
};

// The contents of the one journal file in the folder.
QByteArray onlyJournal(const QString &folder)
{
    const QStringList files = QDir(folder).entryList({"*.csv"}, QDir::Files);
    return files.size() == 1 ? testfiles::readAll(QDir(folder).filePath(files.first()))
                             : QByteArray::number(files.size()) + " journal files";
}

// The value printed after "name: " in the --stats summary.
QString statsField(const QString &summary, const QString &name)
{
    const QRegularExpression pattern("^" + name + ": (.*)$", QRegularExpression::MultilineOption);
    return pattern.match(summary).captured(1);
}

QString secondsOf(const QJsonObject &reading, const char *format = "yyyy-MM-dd hh:mm:ss")
{
    return QDateTime::fromString(reading.value("timestamp").toString(), Qt::ISODateWithMs)
        .toString(format);
}

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

    // The journal holds what standard output shows; at start the oldest journals beyond the
    // newest hundred are removed.
    void csvRunWritesHeaderRowsAndJournal()
    {
        const QDir journal(m_dir.filePath("csv-journal"));
        QVERIFY(journal.mkpath("."));
        const QDateTime oldest(QDate(2020, 1, 1), QTime(0, 0));
        const auto name = [&](int i) {
            return oldest.addSecs(60 * i).toString("yyyy-MM-dd_hh-mm-ss") + ".csv";
        };
        for (int i = 0; i < 103; ++i) // 1030 bytes, beyond the quota of 1024 at once
            testfiles::writeAll(journal.filePath(name(i)), QByteArray(10, 'x'));
        CliProcess cli({"--device", "sim", "--samples", "5", "--rate", "0", "--journal",
                        journal.path(), "--journal-quota", "1K"});
        QCOMPARE(cli.finish(), 0);
        QCOMPARE(cli.lines().size(), 1 + 5); // the header, the readings
        QCOMPARE(cli.messages("connected to sim").filter(kTimeOfMessage).size(), 1);
        const QStringList files = journal.entryList({"*.csv"}, QDir::Files, QDir::Name);
        // The oldest went first, each named; the new journal's header took a few more.
        const int removed = 104 - files.size();
        QVERIFY2(removed >= 4 && removed < 10, qPrintable(files.first()));
        QCOMPARE(files.first(), name(removed));
        for (int i = 0; i < removed; ++i)
            QCOMPARE(cli.messages(journal.filePath(name(i))).size(), 1);
        QCOMPARE(testfiles::readAll(journal.filePath(files.last())), cli.out());
    }

    // The --stats summary gives the figures of exactly the readings of the JSON lines. Keys go
    // in order: the first MaxMin shows MAX, the second MIN.
    void statsAgreeWithTheJsonLines()
    {
        CliProcess cli({"--device", "sim", "--samples", "6", "--rate", "0", "--format", "jsonl",
                        "--stats", "--key", "maxmin", "--key", "maxmin"});
        QCOMPARE(cli.finish(), 0);
        const QList<QJsonObject> readings = cli.json();
        QCOMPARE(readings.last()["maxMinText"].toString(), QStringLiteral("MIN"));
        QCOMPARE(readings.size(), 6);
        QList<double> values;
        for (const QJsonObject &json : readings)
            values << json["value"].toDouble();
        const auto figure = [&cli](const char *name) {
            const QString text = statsField(cli.err(), name);
            return text.endsWith(" V") ? text.chopped(2).toDouble() : qQNaN();
        };
        QCOMPARE(statsField(cli.err(), "readings"), QStringLiteral("6"));
        QCOMPARE(statsField(cli.err(), "function"), QStringLiteral("DCV (6 numeric, 0 overload)"));
        QCOMPARE(figure("min"), *std::min_element(values.begin(), values.end()));
        QCOMPARE(figure("max"), *std::max_element(values.begin(), values.end()));
        QVERIFY(qAbs(figure("mean") - std::accumulate(values.begin(), values.end(), 0.0) / 6) <
                1e-9);
        const char *milliseconds = "yyyy-MM-dd hh:mm:ss.zzz";
        QCOMPARE(statsField(cli.err(), "first"), secondsOf(readings.first(), milliseconds));
        QCOMPARE(statsField(cli.err(), "last"), secondsOf(readings.last(), milliseconds));
    }

    // One reading at once, then one a second; without pacing one per reply (about eight a second).
    // A journal that cannot be written is reported once and leaves the log going.
    void everyReplyGivesMoreReadingsThanTheDefaultRate()
    {
        const QString blocker =
            m_dir.filePath("blocker"); // a plain file where the folder should be
        QVERIFY(testfiles::writeAll(blocker, "x"));
        CliProcess paced({"--device", "sim", "--time", "3", "--journal", blocker + "/journal"});
        CliProcess everyReply({"--device", "sim", "--time", "3", "--rate", "0"});
        QCOMPARE(paced.finish(), 0);
        QCOMPARE(everyReply.finish(), 0);
        const int pacedRows = paced.lines().size() - 1,
                  everyReplyRows = everyReply.lines().size() - 1;
        QVERIFY2(pacedRows >= 2 && pacedRows <= 4 && everyReplyRows >= 2 * pacedRows,
                 qPrintable(QStringLiteral("%1, %2").arg(pacedRows).arg(everyReplyRows)));
        QCOMPARE(paced.messages("journal").size(), 1);
    }

    // Held, the display repeats one value text; only the first of a run of equal texts is
    // written (and one taken before Hold reached the meter).
    void holdWithSkipRepeatWritesNoRepeatedValue()
    {
        CliProcess cli({"--device", "sim", "--time", "2", "--rate", "0", "--format", "jsonl",
                        "--key", "hold", "--skip-repeat"});
        QCOMPARE(cli.finish(), 0);
        const QList<QJsonObject> readings = cli.json();
        QVERIFY(readings.size() == 1 || readings.size() == 2);
        QVERIFY(readings.last()["hold"].toBool());
        QVERIFY(readings.first()["valueText"] != readings.last()["valueText"] ||
                readings.size() == 1);
    }

    // An interrupted run ends with whole lines, each a valid line of its format, and the summary of
    // exactly those readings.
    void interruptEndsCleanly()
    {
        CliProcess cli({"--device", "sim", "--rate", "0", "--format", "influx", "--stats"});
        QTRY_VERIFY_WITH_TIMEOUT(cli.lines().size() >= 5, kWait);
        cli.signal(SIGTERM);
        QCOMPARE(cli.finish(), 0);
        QVERIFY(cli.out().endsWith('\n'));
        qint64 previous = 0;
        for (const QByteArray &line : cli.lines()) {
            const InfluxLine parsed = parseInflux(QString::fromUtf8(line + '\n'));
            QVERIFY2(parsed.ok && parsed.tags.value("model") == "VX310A", line.constData());
            QVERIFY(parsed.timestamp >= previous);
            previous = parsed.timestamp;
        }
        QCOMPARE(statsField(cli.err(), "readings"), QString::number(cli.lines().size()));
    }

    void serialLinkLossEndsTheRunWithFailure()
    {
        SimulatorProcess simulator;
        QVERIFY(simulator.start());
        CliProcess cli({"--device", simulator.device(), "--rate", "0"});
        QTRY_VERIFY_WITH_TIMEOUT(cli.lines().size() >= 4, kWait);
        simulator.unplug();
        QCOMPARE(cli.finish(), 1);
        QVERIFY(cli.out().endsWith('\n'));
        QCOMPARE(cli.messages("lost").filter(kTimeOfMessage).size(), 1);
    }

    void reconnectsAfterReplug()
    {
        const QString link = m_dir.filePath("meter-replugged");
        SimulatorProcess simulator;
        QVERIFY(simulator.start({"--link", link}));
        CliProcess cli(
            {"--device", "serial:" + link, "--reconnect", "--rate", "0", "--format", "jsonl"});
        QTRY_VERIFY_WITH_TIMEOUT(cli.json().size() >= 3, kWait);
        simulator.unplug();
        QTRY_COMPARE_WITH_TIMEOUT(cli.events(), QStringList({"connected", "disconnected"}), kWait);
        const int readingsBefore = cli.json().size();
        QVERIFY(simulator.plugIn());
        QTRY_COMPARE_WITH_TIMEOUT(cli.events(),
                                  QStringList({"connected", "disconnected", "connected"}), kWait);
        QTRY_VERIFY_WITH_TIMEOUT(cli.json().size() >= readingsBefore + 3, kWait);
        cli.signal(SIGINT); // Ctrl+C ends a run as SIGTERM does
        QCOMPARE(cli.finish(), 0);
        // No reading comes between the loss and the reconnection.
        QCOMPARE(cli.lines().mid(readingsBefore + 1, 2).join('\n').count("\"event\""), 2);
        // Each connection and loss is reported once, with its time.
        const QStringList reports = cli.messages("serial:" + link);
        QCOMPARE(reports.filter(kTimeOfMessage).size(), 3);
        QVERIFY(reports.size() == 3 && reports.at(1).contains("lost"));
    }

    // Nothing is logged, and each reason (after a bar) is told once; a run that never connected or
    // never had a reading failed, also when it tried again.
    void answersWithoutLogging_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QByteArray>("output");
        const auto usageError = [](const char *name, const QStringList &arguments,
                                   const QString &message = "Try 'klm704-cli --help'.") {
            QTest::newRow(name) << QStringList{"--device", "sim"} + arguments << 2 << message
                                << QByteArray();
        };
        QTest::newRow("-v") << QStringList{"-v"} << 0 << QString()
                            << QByteArray("klm704-cli 2.02\n");
        usageError("unknown option", {"--bogus"});
        usageError("unknown device", {"--device", "usb"},
                   "Unknown device \"usb\"; use auto, sim, serial:PATH, cp2110, ch9329.");
        usageError("serial without path", {"--device", "serial:"});
        usageError("unknown model", {"--model", "XYZ"},
                   "Unknown model \"XYZ\"; use VX310A, VX310E, VX52C+.");
        usageError("unknown format", {"--format", "xml"});
        usageError("samples zero", {"--samples", "0"});
        usageError("negative rate", {"--rate", "-1"});
        usageError("time not a number", {"--time", "inf"});
        usageError("unknown key", {"--key", "power"});
        usageError("stray argument", {"extra"});
        usageError("journal without folder", {"--journal", ""});
        usageError("quota not a size", {"--journal", "j", "--journal-quota", "1T"},
                   "--journal-quota needs a size such as 1G, 500M or 1048576");
        const QString missing = "serial:" + m_dir.filePath("no-such-port");
        const QString failed = "Failed to open device.";
        QTest::newRow("cannot open, says why")
            << QStringList{"--device", missing} << 1 << failed + "|not found" << QByteArray();
        QTest::newRow("cannot open, retried")
            << QStringList{"--device", missing, "--reconnect", "--time", "2.5"} << 1 << failed
            << QByteArray();
        QTest::newRow("silent meter")
            << QStringList{"--device", QStringLiteral("serial:") + ptsname(m_silentLine),
                           "--time",   "5.5",
                           "--format", "influx"}
            << 1 << "does not answer|no reading received" << QByteArray();
    }

    void answersWithoutLogging()
    {
        QFETCH(QStringList, arguments);
        CliProcess cli(arguments);
        QTEST(cli.finish(), "exitCode");
        QTEST(cli.out(), "output");
        QFETCH(QString, message);
        if (message.isEmpty())
            QCOMPARE(cli.err(), QString());
        for (const QString &reason : message.split('|', Qt::SkipEmptyParts))
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
        const QByteArray kept = onlyJournal(journal);
        QVERIFY(kept.startsWith(cli.out()) && kept.endsWith('\n'));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
