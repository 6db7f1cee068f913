// klm704-cli as a user runs it: the built program, on its built-in virtual meter and on the
// simulator's serial line, with its output, journal, messages and exit status looked at from
// outside.

#include "meter/dmmdata.h"
#include "meter/functionentry.h"
#include "record/csvwriter.h"
#include "record/datamodel.h"
#include "tests/influxline.h"
#include "tests/recordsamples.h"
#include "tests/simulatorprocess.h"
#include "tests/strictcsv.h"
#include "tests/testfiles.h"

#include <QBuffer>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <memory>
#include <numeric>

#include <signal.h>
#include <sys/resource.h>

namespace {

// Generous limits for a loaded machine; the runs themselves take about a second.
constexpr int kWait = 30000;
const QString kHeader = QStringLiteral("No.,Date/Time,Function,Range,Value,Unit");
const QRegularExpression
    kTimeOfMessage(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d "));

// The lines of output that end with a line feed.
QList<QByteArray> completeLines(const QByteArray &out)
{
    QList<QByteArray> lines = out.split('\n');
    lines.removeLast(); // what follows the last line feed
    return lines;
}

// The program while it runs, collecting what it writes.
class CliProcess : public QProcess
{
public:
    // Limits the size of the files it writes, as a nearly full disk would (0: no limit).
    void setFileSizeLimit(rlim_t bytes) { m_fileSizeLimit = bytes; }

    void start(const QStringList &arguments)
    {
        connect(this, &QProcess::readyReadStandardOutput, this,
                [this] { m_out += readAllStandardOutput(); });
        connect(this, &QProcess::readyReadStandardError, this,
                [this] { m_err += readAllStandardError(); });
        QProcess::start(QStringLiteral(KLM704_CLI_PATH), arguments);
    }
    ~CliProcess() override
    {
        QProcess::kill();
        waitForFinished();
    }

    void signal(int number) { ::kill(pid_t(processId()), number); }
    bool finish() { return waitForFinished(kWait) && exitStatus() == QProcess::NormalExit; }

    QByteArray out() const { return m_out; }
    QString err() const { return QString::fromLocal8Bit(m_err); }
    QList<QByteArray> lines() const { return completeLines(m_out); }
    // The lines of standard error that contain text.
    QStringList messages(const QString &text) const { return err().split('\n').filter(text); }

protected:
    void setupChildProcess() override
    {
        if (m_fileSizeLimit == 0)
            return;
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{m_fileSizeLimit, m_fileSizeLimit};
        setrlimit(RLIMIT_FSIZE, &limit);
    }

private:
    QByteArray m_out;
    QByteArray m_err;
    rlim_t m_fileSizeLimit = 0;
};

// A run from start to end.
struct Run
{
    int exitCode = -1;
    QByteArray out;
    QString err;
};

Run run(const QStringList &arguments)
{
    CliProcess cli;
    cli.start(arguments);
    Run result;
    if (cli.finish())
        result.exitCode = cli.exitCode();
    result.out = cli.out();
    result.err = cli.err();
    return result;
}

QList<QStringList> csvRecords(const QByteArray &bytes, bool *ok)
{
    QList<QStringList> records;
    *ok = readCsvStrictly(QString::fromLocal8Bit(bytes), records);
    return records;
}

// The reading lines of JSON lines output, without the event lines.
QList<QJsonObject> jsonReadings(const QList<QByteArray> &lines)
{
    QList<QJsonObject> readings;
    for (const QByteArray &line : lines) {
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        if (!object.contains(QStringLiteral("event")))
            readings.append(object);
    }
    return readings;
}

QStringList jsonEvents(const QList<QByteArray> &lines)
{
    QStringList events;
    for (const QByteArray &line : lines) {
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        if (object.contains(QStringLiteral("event")))
            events.append(object.value(QStringLiteral("event")).toString());
    }
    return events;
}

QStringList journalFiles(const QString &directory)
{
    return QDir(directory).entryList({QStringLiteral("*.csv")}, QDir::Files, QDir::Name);
}

// The value printed after "name: " in the --stats summary, without its unit.
QString statsField(const QString &summary, const QString &name)
{
    const QRegularExpression pattern(QStringLiteral("^%1: (.*)$").arg(name),
                                     QRegularExpression::MultilineOption);
    return pattern.match(summary).captured(1);
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();

    void simulatedRunWritesHeaderAndRows();
    void jsonlAgreesWithTheJournalRows();
    void keysReachTheMeter_data();
    void keysReachTheMeter();
    void everyReplyGivesMoreReadingsThanTheDefaultRate();
    void skipRepeatWritesNoRepeatedValue();
    void statsMatchTheRows();
    void interruptEndsCleanly_data();
    void interruptEndsCleanly();

    void serialLinkToTheSimulator();
    void reconnectsAfterReplug();
    void lostLinkEndsTheRunWithFailure();
    void unopenableLinkFails_data();
    void unopenableLinkFails();
    void badOptionsAreUsageErrors_data();
    void badOptionsAreUsageErrors();
    void helpDocumentsEveryOption();

    void journalHoldsEveryReportedReadingAfterKill();
    void journalFailureLeavesTheLogGoing_data();
    void journalFailureLeavesTheLogGoing();
    void oldJournalsArePrunedAtStart();

private:
    recordsamples::RecordSetup m_setup;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestCli::initTestCase()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestCli::simulatedRunWritesHeaderAndRows()
{
    const QString journal = m_dir->filePath(QStringLiteral("csv-journal"));
    const Run result =
        run({"--device", "sim", "--samples", "5", "--rate", "0", "--journal", journal});
    QCOMPARE(result.exitCode, 0);
    bool ok = false;
    const QList<QStringList> records = csvRecords(result.out, &ok);
    QVERIFY(ok);
    QCOMPARE(records.size(), 6);
    QCOMPARE(records.at(0).join(','), kHeader);
    const QRegularExpression time(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$"));
    for (int row = 1; row < records.size(); ++row) {
        const QStringList &fields = records.at(row);
        QCOMPARE(fields.size(), 6);
        QCOMPARE(fields.at(0), QString::number(row));
        QVERIFY2(time.match(fields.at(1)).hasMatch(), qPrintable(fields.at(1)));
        QCOMPARE(fields.at(2), QStringLiteral("DCV")); // the virtual meter starts on DC volts
        QCOMPARE(fields.at(4).size(), 7);              // the meter's seven display characters
        QCOMPARE(fields.at(5), QStringLiteral("V"));
    }
    QCOMPARE(result.err.split('\n').filter(kTimeOfMessage).filter("connected to sim").size(), 1);
    // Standard output and the journal are written by the same line code: with one function,
    // the same bytes.
    const QStringList files = journalFiles(journal);
    QCOMPARE(files.size(), 1);
    QCOMPARE(testfiles::readAll(QDir(journal).filePath(files.first())), result.out);
}

// The JSON lines of a run carry every field, and tell what the same run wrote to its journal.
void TestCli::jsonlAgreesWithTheJournalRows()
{
    const QString journal = m_dir->filePath(QStringLiteral("jsonl-journal"));
    const Run result = run({"--device", "sim", "--samples", "6", "--rate", "0", "--format", "jsonl",
                            "--journal", journal});
    QCOMPARE(result.exitCode, 0);
    const QList<QByteArray> lines = completeLines(result.out);
    QCOMPARE(jsonEvents(lines), QStringList{"connected"});
    QVERIFY(QJsonDocument::fromJson(lines.first()).object().contains("timestamp"));
    const QList<QJsonObject> readings = jsonReadings(lines);
    const QStringList files = journalFiles(journal);
    QCOMPARE(files.size(), 1);
    bool ok = false;
    const QList<QStringList> rows =
        csvRecords(testfiles::readAll(QDir(journal).filePath(files.first())), &ok).mid(1);
    QVERIFY(ok);
    QCOMPARE(readings.size(), 6);
    QCOMPARE(rows.size(), 6);
    for (int i = 0; i < rows.size(); ++i) {
        const QJsonObject &object = readings.at(i);
        QCOMPARE(object.size(), 18);
        const FunctionEntry *entry =
            findEntry(m_setup.defaultTable, quint8(object.value("functionCode").toInt()),
                      quint8(object.value("rangeCode").toInt()));
        QVERIFY(entry);
        QCOMPARE(object.value("functionName").toString(), entry->name());
        QCOMPARE(object.value("value").toDouble(),
                 object.value("valueText").toString().trimmed().toDouble());
        const QDateTime time =
            QDateTime::fromString(object.value("timestamp").toString(), Qt::ISODateWithMs);
        const QStringList fromJson = {QString::number(i + 1),
                                      time.toString("yyyy-MM-dd hh:mm:ss"),
                                      entry->name(),
                                      object.value("rangeText").toString(),
                                      object.value("valueText").toString(),
                                      entry->prefix() + entry->unit()};
        QCOMPARE(fromJson, rows.at(i));
        QCOMPARE(object.value("unitText").toString(), rows.at(i).last());
    }
}

void TestCli::keysReachTheMeter_data()
{
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QJsonValue>("expected");
    QTest::newRow("hold") << QStringList{"hold"} << "hold" << QJsonValue(true);
    QTest::newRow("rel") << QStringList{"rel"} << "relative" << QJsonValue(true);
    QTest::newRow("manual") << QStringList{"manual"} << "manualRange" << QJsonValue(true);
    QTest::newRow("select") << QStringList{"select"} << "functionName" << QJsonValue("DCmV");
    QTest::newRow("hz") << QStringList{"hz"} << "functionName" << QJsonValue("FREQ");
    QTest::newRow("peak") << QStringList{"peak"} << "peakText" << QJsonValue("P-MAX");
    // Both presses in order: the first shows MAX, the second MIN.
    QTest::newRow("maxmin twice") << QStringList{"maxmin", "maxmin"} << "maxMinText"
                                  << QJsonValue("MIN");
}

void TestCli::keysReachTheMeter()
{
    QFETCH(QStringList, keys);
    QFETCH(QString, field);
    QFETCH(QJsonValue, expected);
    QStringList arguments{"--device", "sim", "--samples", "4", "--rate", "0", "--format", "jsonl"};
    for (const QString &key : keys)
        arguments << "--key" << key;
    const Run result = run(arguments);
    QCOMPARE(result.exitCode, 0);
    const QList<QJsonObject> readings = jsonReadings(completeLines(result.out));
    QCOMPARE(readings.size(), 4);
    QCOMPARE(readings.last().value(field), expected);
}

void TestCli::everyReplyGivesMoreReadingsThanTheDefaultRate()
{
    CliProcess paced;
    CliProcess everyReply;
    paced.start({"--device", "sim", "--time", "3"});
    everyReply.start({"--device", "sim", "--time", "3", "--rate", "0"});
    QVERIFY(paced.finish());
    QVERIFY(everyReply.finish());
    QCOMPARE(paced.exitCode(), 0);
    QCOMPARE(everyReply.exitCode(), 0);
    // One reading at once, then one a second; without pacing one per reply (about eight a
    // second, as the meter is polled).
    const int pacedReadings = paced.lines().size() - 1;
    const int everyReplyReadings = everyReply.lines().size() - 1;
    QVERIFY2(pacedReadings >= 2 && pacedReadings <= 4, qPrintable(QString::number(pacedReadings)));
    QVERIFY2(everyReplyReadings >= 2 * pacedReadings,
             qPrintable(QString::number(everyReplyReadings)));
}

// The held display repeats one value text; only the first of a run of equal texts is written.
void TestCli::skipRepeatWritesNoRepeatedValue()
{
    const Run result =
        run({"--device", "sim", "--time", "2", "--rate", "0", "--key", "hold", "--skip-repeat"});
    QCOMPARE(result.exitCode, 0);
    bool ok = false;
    const QList<QStringList> records = csvRecords(result.out, &ok);
    QVERIFY(ok);
    const int rows = records.size() - 1;
    // A reading taken before Hold reached the meter may differ from the held one.
    QVERIFY2(rows >= 1 && rows <= 2, qPrintable(QString::number(rows)));
    for (int row = 2; row < records.size(); ++row)
        QVERIFY(records.at(row).at(4) != records.at(row - 1).at(4));
}

void TestCli::statsMatchTheRows()
{
    const Run result =
        run({"--device", "sim", "--samples", "8", "--rate", "0", "--format", "jsonl", "--stats"});
    QCOMPARE(result.exitCode, 0);
    const QList<QJsonObject> readings = jsonReadings(completeLines(result.out));
    QCOMPARE(readings.size(), 8);
    QList<double> values;
    for (const QJsonObject &object : readings)
        values << object.value("value").toDouble();
    const double mean = std::accumulate(values.begin(), values.end(), 0.0) / values.size();
    const auto figure = [&result](const char *name) {
        const QString text = statsField(result.err, name);
        return text.endsWith(" V") ? text.chopped(2).toDouble() : qQNaN();
    };
    QCOMPARE(statsField(result.err, "readings"), QStringLiteral("8"));
    QCOMPARE(statsField(result.err, "function"), QStringLiteral("DCV (8 numeric, 0 overload)"));
    QCOMPARE(figure("min"), *std::min_element(values.begin(), values.end()));
    QCOMPARE(figure("max"), *std::max_element(values.begin(), values.end()));
    QVERIFY(qAbs(figure("mean") - mean) < 1e-9);
    QVERIFY(figure("stddev") >= 0);
    const auto timeOf = [](const QJsonObject &reading) {
        return QDateTime::fromString(reading.value("timestamp").toString(), Qt::ISODateWithMs)
            .toString("yyyy-MM-dd hh:mm:ss.zzz");
    };
    QCOMPARE(statsField(result.err, "first"), timeOf(readings.first()));
    QCOMPARE(statsField(result.err, "last"), timeOf(readings.last()));
}

// An interrupted run closes the link and ends with whole lines, every one a valid line of its
// format, and the summary of exactly those readings.
void TestCli::interruptEndsCleanly_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

void TestCli::interruptEndsCleanly()
{
    QFETCH(int, signalNumber);
    CliProcess cli;
    cli.start({"--device", "sim", "--rate", "0", "--format", "influx", "--stats"});
    QTRY_VERIFY_WITH_TIMEOUT(cli.lines().size() >= 5, kWait);
    cli.signal(signalNumber);
    QVERIFY(cli.finish());
    QCOMPARE(cli.exitCode(), 0);
    QVERIFY(cli.out().endsWith('\n'));
    const QList<QByteArray> lines = cli.lines();
    qint64 previous = 0;
    for (const QByteArray &line : lines) {
        const InfluxLine parsed = parseInflux(QString::fromUtf8(line + '\n'));
        QVERIFY2(parsed.ok, line.constData());
        QCOMPARE(parsed.tags.value("model"), QStringLiteral("VX310A"));
        QVERIFY(parsed.timestamp >= previous);
        previous = parsed.timestamp;
    }
    QCOMPARE(statsField(cli.err(), "readings"), QString::number(lines.size()));
}

void TestCli::serialLinkToTheSimulator()
{
    SimulatorProcess simulator;
    QVERIFY(simulator.start());
    const Run result = run({"--device", simulator.device(), "--samples", "3", "--rate", "0"});
    QCOMPARE(result.exitCode, 0);
    bool ok = false;
    const QList<QStringList> records = csvRecords(result.out, &ok);
    QVERIFY(ok);
    QCOMPARE(records.size(), 4);
    QCOMPARE(records.last().at(2), QStringLiteral("DCV"));
    QCOMPARE(result.err.split('\n').filter("connected to " + simulator.device()).size(), 1);
}

void TestCli::reconnectsAfterReplug()
{
    const QString link = m_dir->filePath(QStringLiteral("meter-replugged"));
    SimulatorProcess simulator;
    QVERIFY(simulator.start({"--link", link}));
    CliProcess cli;
    cli.start({"--device", "serial:" + link, "--reconnect", "--rate", "0", "--format", "jsonl"});
    QTRY_VERIFY_WITH_TIMEOUT(jsonReadings(cli.lines()).size() >= 3, kWait);

    simulator.unplug();
    QTRY_COMPARE_WITH_TIMEOUT(jsonEvents(cli.lines()), QStringList({"connected", "disconnected"}),
                              kWait);
    QTRY_COMPARE_WITH_TIMEOUT(cli.messages("lost").size(), 1, kWait);
    const int readingsBefore = jsonReadings(cli.lines()).size();
    QVERIFY(simulator.plugIn());
    QTRY_COMPARE_WITH_TIMEOUT(jsonEvents(cli.lines()),
                              QStringList({"connected", "disconnected", "connected"}), kWait);
    QTRY_VERIFY_WITH_TIMEOUT(jsonReadings(cli.lines()).size() >= readingsBefore + 3, kWait);

    cli.signal(SIGTERM);
    QVERIFY(cli.finish());
    QCOMPARE(cli.exitCode(), 0);
    // No reading comes between the loss and the reconnection.
    const QList<QByteArray> lines = cli.lines();
    QCOMPARE(QJsonDocument::fromJson(lines.at(1 + readingsBefore)).object().value("event"),
             QJsonValue("disconnected"));
    QCOMPARE(QJsonDocument::fromJson(lines.at(2 + readingsBefore)).object().value("event"),
             QJsonValue("connected"));
    // Each connection and loss is reported with its time.
    const QStringList reports = cli.messages("serial:" + link);
    QCOMPARE(reports.size(), 3);
    for (const QString &report : reports)
        QVERIFY2(kTimeOfMessage.match(report).hasMatch(), qPrintable(report));
    QVERIFY(reports.at(0).contains("connected to"));
    QVERIFY(reports.at(1).contains("lost"));
    QVERIFY(reports.at(2).contains("connected to"));
}

void TestCli::lostLinkEndsTheRunWithFailure()
{
    SimulatorProcess simulator;
    QVERIFY(simulator.start());
    CliProcess cli;
    cli.start({"--device", simulator.device(), "--rate", "0"});
    QTRY_VERIFY_WITH_TIMEOUT(cli.lines().size() >= 3, kWait);
    simulator.unplug();
    QVERIFY(cli.finish());
    QCOMPARE(cli.exitCode(), 1);
    QVERIFY(cli.out().endsWith('\n'));
    QCOMPARE(cli.messages("lost").size(), 1);
    QVERIFY(kTimeOfMessage.match(cli.messages("lost").first()).hasMatch());
}

void TestCli::unopenableLinkFails_data()
{
    QTest::addColumn<QStringList>("extraArguments");
    QTest::newRow("once") << QStringList();
    // Tried at once and two seconds later; the same reason is told once. A run that never had
    // its link open has failed, however it ends.
    QTest::newRow("retried") << QStringList{"--reconnect", "--time", "2.5"};
}

void TestCli::unopenableLinkFails()
{
    QFETCH(QStringList, extraArguments);
    const QString missing = m_dir->filePath(QStringLiteral("no-such-port"));
    const Run result = run(QStringList{"--device", "serial:" + missing} + extraArguments);
    QCOMPARE(result.exitCode, 1);
    QCOMPARE(result.out, QByteArray());
    const QStringList failures = result.err.split('\n').filter("Failed to open device.");
    QCOMPARE(failures.size(), 1);
    QVERIFY(failures.first().contains(missing));
}

void TestCli::badOptionsAreUsageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("unknown option") << QStringList{"--bogus"};
    QTest::newRow("unknown device") << QStringList{"--device", "usb"};
    QTest::newRow("serial without path") << QStringList{"--device", "serial:"};
    QTest::newRow("unknown format") << QStringList{"--format", "xml"};
    QTest::newRow("samples zero") << QStringList{"--samples", "0"};
    QTest::newRow("samples text") << QStringList{"--samples", "ten"};
    QTest::newRow("negative rate") << QStringList{"--rate", "-1"};
    QTest::newRow("time zero") << QStringList{"--time", "0"};
    QTest::newRow("unknown key") << QStringList{"--key", "power"};
    QTest::newRow("stray argument") << QStringList{"extra"};
    QTest::newRow("time not a number") << QStringList{"--time", "inf"};
    QTest::newRow("journal without folder") << QStringList{"--journal", ""};
}

void TestCli::badOptionsAreUsageErrors()
{
    QFETCH(QStringList, arguments);
    const Run result = run(QStringList{"--device", "sim"} + arguments);
    QCOMPARE(result.exitCode, 2);
    QCOMPARE(result.out, QByteArray());
    QVERIFY(result.err.contains("Try 'klm704-cli --help'."));
}

void TestCli::helpDocumentsEveryOption()
{
    const Run result = run({"--help"});
    QCOMPARE(result.exitCode, 0);
    const QString help = QString::fromLocal8Bit(result.out);
    const QStringList options = {"--device", "--model",       "--samples",   "--time",
                                 "--rate",   "--skip-repeat", "--key",       "--format",
                                 "--output", "--stats",       "--reconnect", "--journal"};
    for (const QString &option : options)
        QVERIFY2(help.contains(option), qPrintable(option));
    // Each of them with an example, and examples of whole runs.
    QVERIFY(help.count("Example:") >= options.size());
    QVERIFY(help.contains("klm704-cli --device sim --samples 10"));
    QVERIFY(help.contains("Exit status"));
}

// Killed in the middle of a recording, the program leaves a journal whose every line is whole
// and which holds every reading it had written out before it died.
void TestCli::journalHoldsEveryReportedReadingAfterKill()
{
    const QString journal = m_dir->filePath(QStringLiteral("killed"));
    CliProcess cli;
    cli.start({"--device", "sim", "--rate", "0", "--journal", journal});
    QTRY_VERIFY_WITH_TIMEOUT(cli.lines().size() >= 21, kWait);
    cli.signal(SIGKILL);
    QVERIFY(cli.waitForFinished(kWait));
    QCOMPARE(cli.exitStatus(), QProcess::CrashExit);

    QVERIFY(cli.out().endsWith('\n'));
    bool ok = false;
    const QList<QStringList> reported = csvRecords(cli.out(), &ok);
    QVERIFY(ok);
    const QStringList files = journalFiles(journal);
    QCOMPARE(files.size(), 1);
    const QList<QStringList> journaled =
        csvRecords(testfiles::readAll(QDir(journal).filePath(files.first())), &ok);
    QVERIFY2(ok, "the journal ends with a whole line");
    QVERIFY(journaled.size() >= reported.size());
    QCOMPARE(journaled.mid(0, reported.size()), reported);
}

// A journal that cannot be written is reported once; every reading still reaches the output.
void TestCli::journalFailureLeavesTheLogGoing_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<int>("fileSizeLimit");
    QTest::addColumn<int>("journaledRows");
    // A plain file where the folder should be.
    const QString blocker = m_dir->filePath(QStringLiteral("blocker"));
    testfiles::writeAll(blocker, "x");
    QTest::newRow("folder cannot be made") << blocker + "/journal" << 0 << -1;
    // Room for the header of 40 bytes and two rows of 38, then the disk is full.
    QTest::newRow("disk full") << m_dir->filePath(QStringLiteral("full")) << 40 + 2 * 38 + 20 << 2;
}

void TestCli::journalFailureLeavesTheLogGoing()
{
    QFETCH(QString, folder);
    QFETCH(int, fileSizeLimit);
    QFETCH(int, journaledRows);
    CliProcess cli;
    cli.setFileSizeLimit(rlim_t(fileSizeLimit));
    cli.start({"--device", "sim", "--samples", "6", "--rate", "0", "--journal", folder});
    QVERIFY(cli.finish());
    QCOMPARE(cli.exitCode(), 0);
    QCOMPARE(cli.lines().size(), 7);
    QCOMPARE(cli.messages("journal").size(), 1);
    if (journaledRows < 0)
        return;
    const QStringList files = journalFiles(folder);
    QCOMPARE(files.size(), 1);
    bool ok = false;
    const QList<QStringList> journaled =
        csvRecords(testfiles::readAll(QDir(folder).filePath(files.first())), &ok);
    QVERIFY2(ok, "the journal ends with a whole line");
    QCOMPARE(journaled.size(), 1 + journaledRows);
    QCOMPARE(journaled, csvRecords(cli.out(), &ok).mid(0, 1 + journaledRows));
}

// At start the oldest journals beyond the newest hundred are removed, then the run's own begins.
void TestCli::oldJournalsArePrunedAtStart()
{
    const QString folder = m_dir->filePath(QStringLiteral("pruned"));
    QVERIFY(QDir().mkpath(folder));
    const QDateTime oldest(QDate(2020, 1, 1), QTime(0, 0));
    for (int i = 0; i < 103; ++i) {
        const QString name = oldest.addSecs(60 * i).toString("yyyy-MM-dd_hh-mm-ss") + ".csv";
        QVERIFY(testfiles::writeAll(QDir(folder).filePath(name), kHeader.toLatin1() + '\n'));
    }
    const Run result =
        run({"--device", "sim", "--samples", "1", "--rate", "0", "--journal", folder});
    QCOMPARE(result.exitCode, 0);
    const QStringList files = journalFiles(folder);
    QCOMPARE(files.size(), 101);
    QCOMPARE(files.first(), QStringLiteral("2020-01-01_00-03-00.csv"));
    QCOMPARE(testfiles::readAll(QDir(folder).filePath(files.last())), result.out);
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
