// klm704-cli as a user runs it: the built program, on its built-in virtual meter and on the
// simulator's serial line, with its output, journal, messages and exit status looked at from
// outside.

#include "meter/functionentry.h"
#include "tests/influxline.h"
#include "tests/recordsamples.h"
#include "tests/simulatorprocess.h"
#include "tests/strictcsv.h"
#include "tests/testfiles.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <numeric>

#include <signal.h>

namespace {

constexpr int kWait = 30000; // generous for a loaded machine; a run takes about a second
const QString kHeader = QStringLiteral("No.,Date/Time,Function,Range,Value,Unit");
const QRegularExpression kTimeOfMessage("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d ");

// The program while it runs, collecting what it writes.
class CliProcess : public QProcess
{
public:
    explicit CliProcess(const QStringList &arguments)
    {
        connect(this, &QProcess::readyReadStandardOutput,
                [this] { m_out += readAllStandardOutput(); });
        connect(this, &QProcess::readyReadStandardError,
                [this] { m_err += readAllStandardError(); });
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
    QByteArray out() const { return m_out; }
    QString err() const { return QString::fromLocal8Bit(m_err); }
    // The lines of output that end with a line feed.
    QList<QByteArray> lines() const { return m_out.split('\n').mid(0, m_out.count('\n')); }
    QStringList messages(const QString &text) const { return err().split('\n').filter(text); }
    // The JSON lines that are events (or readings), without the others.
    QList<QJsonObject> json(bool events = false) const
    {
        QList<QJsonObject> objects;
        for (const QByteArray &line : lines()) {
            const QJsonObject object = QJsonDocument::fromJson(line).object();
            if (object.contains("event") == events)
                objects.append(object);
        }
        return objects;
    }
    QStringList events() const
    {
        QStringList names;
        for (const QJsonObject &event : json(true))
            names.append(event.value("event").toString());
        return names;
    }

private:
    QByteArray m_out;
    QByteArray m_err;
};

// Strictly read CSV records; a single record "<not CSV>" when the text is not.
QList<QStringList> csvRecords(const QByteArray &bytes)
{
    QList<QStringList> records;
    return readCsvStrictly(QString::fromLocal8Bit(bytes), records)
               ? records
               : QList<QStringList>{{"<not CSV>"}};
}

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
private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void csvRunWritesHeaderRowsAndJournal();
    void jsonlAndStatsAgreeWithTheJournal();
    void keysReachTheMeter_data();
    void keysReachTheMeter();
    void everyReplyGivesMoreReadingsThanTheDefaultRate();
    void skipRepeatWritesNoRepeatedValue();
    void interruptEndsCleanly_data();
    void interruptEndsCleanly();
    void serialLinkLossEndsTheRunWithFailure();
    void reconnectsAfterReplug();
    void unopenableLinkFails_data();
    void unopenableLinkFails();
    void badOptionsAreUsageErrors_data();
    void badOptionsAreUsageErrors();
    void helpDocumentsEveryOption();
    void journalHoldsEveryReportedReadingAfterKill();

private:
    recordsamples::RecordSetup m_setup;
    QTemporaryDir m_dir;
};

// The journal holds what standard output shows (the fields: below, against the JSON lines); at
// start the oldest journals beyond the newest hundred are removed.
void TestCli::csvRunWritesHeaderRowsAndJournal()
{
    const QDir journal(m_dir.filePath("csv-journal"));
    QVERIFY(journal.mkpath("."));
    const QDateTime oldest(QDate(2020, 1, 1), QTime(0, 0));
    for (int i = 0; i < 103; ++i)
        testfiles::writeAll(
            journal.filePath(oldest.addSecs(60 * i).toString("yyyy-MM-dd_hh-mm-ss") + ".csv"),
            "x\n");
    CliProcess cli(
        {"--device", "sim", "--samples", "5", "--rate", "0", "--journal", journal.path()});
    QCOMPARE(cli.finish(), 0);
    const QList<QStringList> records = csvRecords(cli.out());
    QCOMPARE(records.size(), 6);
    QCOMPARE(records.at(0).join(','), kHeader);
    QCOMPARE(records.last().at(0), QStringLiteral("5"));
    QCOMPARE(cli.messages("connected to sim").filter(kTimeOfMessage).size(), 1);
    const QStringList files = journal.entryList({"*.csv"}, QDir::Files, QDir::Name);
    QCOMPARE(files.size(), 101);
    QCOMPARE(files.first(), QStringLiteral("2020-01-01_00-03-00.csv"));
    QCOMPARE(testfiles::readAll(journal.filePath(files.last())), cli.out());
}

// The JSON lines of a run carry every field, agree with the run's journal rows, and the
// --stats summary gives the figures of exactly those readings.
void TestCli::jsonlAndStatsAgreeWithTheJournal()
{
    const QString journal = m_dir.filePath("jsonl-journal");
    CliProcess cli({"--device", "sim", "--samples", "6", "--rate", "0", "--format", "jsonl",
                    "--stats", "--journal", journal});
    QCOMPARE(cli.finish(), 0);
    QCOMPARE(cli.events(), QStringList{"connected"});
    const QList<QJsonObject> readings = cli.json();
    const QList<QStringList> rows = csvRecords(onlyJournal(journal)).mid(1);
    QCOMPARE(readings.size(), 6);
    QCOMPARE(rows.size(), 6);
    QList<double> values;
    for (int i = 0; i < rows.size(); ++i) {
        const QJsonObject &object = readings.at(i);
        QCOMPARE(object.size(), 18);
        const FunctionEntry *entry =
            findEntry(m_setup.defaultTable, quint8(object.value("functionCode").toInt()),
                      quint8(object.value("rangeCode").toInt()));
        QVERIFY(entry);
        values << object.value("value").toDouble();
        QCOMPARE(values.last(), object.value("valueText").toString().trimmed().toDouble());
        QCOMPARE(
            QStringList({QString::number(i + 1), secondsOf(object), entry->name(),
                         object.value("rangeText").toString(), object.value("valueText").toString(),
                         entry->prefix() + entry->unit()}),
            rows.at(i));
        QCOMPARE(object.value("functionName").toString() + object.value("unitText").toString(),
                 entry->name() + rows.at(i).last());
    }
    const auto figure = [&cli](const char *name) {
        const QString text = statsField(cli.err(), name);
        return text.endsWith(" V") ? text.chopped(2).toDouble() : qQNaN();
    };
    QCOMPARE(statsField(cli.err(), "readings"), QStringLiteral("6"));
    QCOMPARE(statsField(cli.err(), "function"), QStringLiteral("DCV (6 numeric, 0 overload)"));
    QCOMPARE(figure("min"), *std::min_element(values.begin(), values.end()));
    QCOMPARE(figure("max"), *std::max_element(values.begin(), values.end()));
    QVERIFY(qAbs(figure("mean") - std::accumulate(values.begin(), values.end(), 0.0) / 6) < 1e-9);
    const char *milliseconds = "yyyy-MM-dd hh:mm:ss.zzz";
    QCOMPARE(statsField(cli.err(), "first"), secondsOf(readings.first(), milliseconds));
    QCOMPARE(statsField(cli.err(), "last"), secondsOf(readings.last(), milliseconds));
}

void TestCli::keysReachTheMeter_data()
{
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QJsonValue>("expected");
    QTest::newRow("hold") << QStringList{"hold"} << "hold" << QJsonValue(true);
    QTest::newRow("select") << QStringList{"select"} << "functionName" << QJsonValue("DCmV");
    // Both presses in order: the first shows MAX, the second MIN.
    QTest::newRow("maxmin twice") << QStringList{"maxmin", "maxmin"} << "maxMinText"
                                  << QJsonValue("MIN");
}

void TestCli::keysReachTheMeter()
{
    QFETCH(QStringList, keys);
    QStringList arguments{"--device", "sim", "--samples", "4", "--rate", "0", "--format", "jsonl"};
    for (const QString &key : keys)
        arguments << "--key" << key;
    CliProcess cli(arguments);
    QCOMPARE(cli.finish(), 0);
    QCOMPARE(cli.json().size(), 4);
    QFETCH(QString, field);
    QTEST(cli.json().last().value(field), "expected");
}

// One reading at once, then one a second; without pacing one per reply (about eight a second).
// A journal that cannot be written is reported once and leaves the log going.
void TestCli::everyReplyGivesMoreReadingsThanTheDefaultRate()
{
    const QString blocker = m_dir.filePath("blocker"); // a plain file where the folder should be
    QVERIFY(testfiles::writeAll(blocker, "x"));
    CliProcess paced({"--device", "sim", "--time", "3", "--journal", blocker + "/journal"});
    CliProcess everyReply({"--device", "sim", "--time", "3", "--rate", "0"});
    QCOMPARE(paced.finish(), 0);
    QCOMPARE(everyReply.finish(), 0);
    const int pacedReadings = paced.lines().size() - 1;
    const int everyReplyReadings = everyReply.lines().size() - 1;
    QVERIFY2(pacedReadings >= 2 && pacedReadings <= 4, qPrintable(QString::number(pacedReadings)));
    QVERIFY2(everyReplyReadings >= 2 * pacedReadings,
             qPrintable(QString::number(everyReplyReadings)));
    QCOMPARE(paced.messages("journal").size(), 1);
}

// The held display repeats one value text; only the first of a run of equal texts is written.
void TestCli::skipRepeatWritesNoRepeatedValue()
{
    CliProcess cli(
        {"--device", "sim", "--time", "2", "--rate", "0", "--key", "hold", "--skip-repeat"});
    QCOMPARE(cli.finish(), 0);
    const QList<QStringList> records = csvRecords(cli.out());
    // A reading taken before Hold reached the meter may differ from the held one.
    QVERIFY2(records.size() == 2 || records.size() == 3,
             qPrintable(QString::number(records.size())));
    QVERIFY(records.last().at(4) != records.at(records.size() - 2).at(4));
}

// An interrupted run ends with whole lines, each a valid line of its format, and the summary of
// exactly those readings.
void TestCli::interruptEndsCleanly_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

void TestCli::interruptEndsCleanly()
{
    QFETCH(int, signalNumber);
    CliProcess cli({"--device", "sim", "--rate", "0", "--format", "influx", "--stats"});
    QTRY_VERIFY_WITH_TIMEOUT(cli.lines().size() >= 5, kWait);
    cli.signal(signalNumber);
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

void TestCli::serialLinkLossEndsTheRunWithFailure()
{
    SimulatorProcess simulator;
    QVERIFY(simulator.start());
    CliProcess cli({"--device", simulator.device(), "--rate", "0"});
    QTRY_VERIFY_WITH_TIMEOUT(cli.lines().size() >= 4, kWait);
    QCOMPARE(csvRecords(cli.out()).last().at(2), QStringLiteral("DCV"));
    QCOMPARE(cli.messages("connected to " + simulator.device()).size(), 1);
    simulator.unplug();
    QCOMPARE(cli.finish(), 1);
    QVERIFY(cli.out().endsWith('\n'));
    QCOMPARE(cli.messages("lost").filter(kTimeOfMessage).size(), 1);
}

void TestCli::reconnectsAfterReplug()
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
    QTRY_COMPARE_WITH_TIMEOUT(cli.events(), QStringList({"connected", "disconnected", "connected"}),
                              kWait);
    QTRY_VERIFY_WITH_TIMEOUT(cli.json().size() >= readingsBefore + 3, kWait);
    cli.signal(SIGTERM);
    QCOMPARE(cli.finish(), 0);
    // No reading comes between the loss and the reconnection.
    for (int event : {1, 2})
        QCOMPARE(
            QJsonDocument::fromJson(cli.lines().at(event + readingsBefore))["event"].toString(),
            cli.events().at(event));
    // Each connection and loss is reported once, with its time.
    const QStringList reports = cli.messages("serial:" + link);
    QCOMPARE(reports.size(), 3);
    QCOMPARE(reports.filter(kTimeOfMessage).size(), 3);
    QVERIFY(reports.at(0).contains("connected to") && reports.at(2).contains("connected to"));
    QVERIFY(reports.at(1).contains("lost"));
}

void TestCli::unopenableLinkFails_data()
{
    QTest::addColumn<QStringList>("extraArguments");
    QTest::newRow("once") << QStringList();
    // Tried at once and two seconds later, the reason told once: a run never connected failed.
    QTest::newRow("retried") << QStringList{"--reconnect", "--time", "2.5"};
}

void TestCli::unopenableLinkFails()
{
    QFETCH(QStringList, extraArguments);
    const QString missing = m_dir.filePath("no-such-port");
    CliProcess cli(QStringList{"--device", "serial:" + missing} + extraArguments);
    QCOMPARE(cli.finish(), 1);
    QCOMPARE(cli.out(), QByteArray());
    QCOMPARE(cli.messages("Failed to open device.").filter(missing).size(), 1);
}

void TestCli::badOptionsAreUsageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("unknown option") << QStringList{"--bogus"};
    QTest::newRow("unknown device") << QStringList{"--device", "usb"};
    QTest::newRow("serial without path") << QStringList{"--device", "serial:"};
    QTest::newRow("unknown format") << QStringList{"--format", "xml"};
    QTest::newRow("samples zero") << QStringList{"--samples", "0"};
    QTest::newRow("negative rate") << QStringList{"--rate", "-1"};
    QTest::newRow("time not a number") << QStringList{"--time", "inf"};
    QTest::newRow("unknown key") << QStringList{"--key", "power"};
    QTest::newRow("stray argument") << QStringList{"extra"};
    QTest::newRow("journal without folder") << QStringList{"--journal", ""};
}

void TestCli::badOptionsAreUsageErrors()
{
    QFETCH(QStringList, arguments);
    CliProcess cli(QStringList{"--device", "sim"} + arguments);
    QCOMPARE(cli.finish(), 2);
    QCOMPARE(cli.out(), QByteArray());
    QVERIFY(cli.err().contains("Try 'klm704-cli --help'."));
}

void TestCli::helpDocumentsEveryOption()
{
    CliProcess cli({"--help"});
    QCOMPARE(cli.finish(), 0);
    const QString help = QString::fromLocal8Bit(cli.out());
    const QStringList options = {"--device", "--model",     "--samples", "--time",
                                 "--rate",   "--key",       "--format",  "--output",
                                 "--stats",  "--reconnect", "--journal", "--skip-repeat"};
    for (const QString &option : options)
        QVERIFY2(help.contains(option), qPrintable(option));
    // Each of them with an example, and examples of whole runs.
    QVERIFY(help.count("Example:") >= options.size());
    QVERIFY(help.contains("klm704-cli --device sim --samples 10") && help.contains("Exit status"));
}

// Killed mid-recording, the program leaves a journal of whole lines holding every reading it
// had written out.
void TestCli::journalHoldsEveryReportedReadingAfterKill()
{
    const QString journal = m_dir.filePath("killed");
    CliProcess cli({"--device", "sim", "--rate", "0", "--journal", journal});
    QTRY_VERIFY_WITH_TIMEOUT(cli.lines().size() >= 21, kWait);
    cli.signal(SIGKILL);
    QCOMPARE(cli.finish(), -1);
    QVERIFY(cli.out().endsWith('\n'));
    const QList<QStringList> reported = csvRecords(cli.out());
    QCOMPARE(csvRecords(onlyJournal(journal)).mid(0, reported.size()), reported);
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
