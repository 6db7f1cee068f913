#include "cli/clijournal.h"
#include "cli/clioptions.h"
#include "cli/csvformatter.h"
#include "cli/influxformatter.h"
#include "cli/jsonlformatter.h"
#include "cli/readingstats.h"
#include "influxline.h"
#include "meter/dmmdata.h"
#include "meter/functionentry.h"
#include "record/csvwriter.h"
#include "record/datamodel.h"
#include "recordsamples.h"
#include "testfiles.h"

#include <QBuffer>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

namespace {

// The export of a record table holding the readings, in order; the table takes them over.
QByteArray exportOf(const QList<ColumnSpec *> &columns, const QList<DmmData *> &readings)
{
    DataModel model(columns);
    for (DmmData *data : readings)
        model.appendRecord(data);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    return writeCsv(&model, buffer) ? buffer.data() : QByteArray("<failed>");
}

} // namespace

class TestCliFormat : public QObject
{
    Q_OBJECT
private slots:
    void csvIsTheExportOfTheSameReadings();
    void journalBeginsAFileForEachFunction();
    void jsonlCarriesEveryField();
    void influxEscapesTagsAndFields_data();
    void influxEscapesTagsAndFields();
    void statsOfTheLastFunction();
    void statsCountOverloadsApart();
    void optionsCollectKeysInOrder();

private:
    std::unique_ptr<DmmData> reading(quint8 function, quint8 range, const QString &valueText,
                                     double value);
    QList<DmmData *> functionChangeReadings();
    recordsamples::RecordSetup m_setup;
};

std::unique_ptr<DmmData> TestCliFormat::reading(quint8 function, quint8 range,
                                                const QString &valueText, double value)
{
    auto data = std::make_unique<DmmData>();
    const FunctionEntry *entry =
        findEntry(function == 25 ? m_setup.eTable : m_setup.defaultTable, function, range);
    data->setEntry(entry);
    data->setTimestamp(QDateTime(QDate(2026, 12, 6), QTime(14, 3, 22, 123)));
    data->setValueText(valueText);
    data->setValue(value);
    data->setFunctionName(entry->name());
    data->setUnitText(entry->prefix() + entry->unit());
    data->setRangeText(QString::number(entry->fullScale()));
    return data;
}

void TestCliFormat::csvIsTheExportOfTheSameReadings()
{
    // Every table row, and a text with a comma and a quote, which both quote.
    const auto makeReadings = [this] {
        QList<DmmData *> readings = recordsamples::everyRowReadings(
            m_setup.defaultTable, m_setup.eTable, QDateTime(QDate(2026, 3, 29), QTime(1, 59, 58)));
        auto odd = reading(2, 0x30, QStringLiteral(" 1,5\"  "), 1.5);
        odd->setFunctionName(QStringLiteral("DC,V"));
        readings.append(odd.release());
        return readings;
    };
    const QList<DmmData *> readings = makeReadings();
    CsvFormatter formatter;
    QByteArray lines = formatter.header();
    for (int i = 0; i < readings.size(); ++i)
        lines += formatter.reading(i + 1, *readings.at(i));
    qDeleteAll(readings);
    QCOMPARE(lines, exportOf(m_setup.columns, makeReadings()));
}

// Readings of DCV, AC+DC in both couplings, RES and DCV again, two seconds apart.
QList<DmmData *> TestCliFormat::functionChangeReadings()
{
    QList<DmmData *> readings;
    const auto add = [&](quint8 function, const QString &coupling) {
        auto data = reading(function, 0x30, QString::number(readings.size()), 1);
        data->setTimestamp(data->timestamp().addSecs(2 * readings.size()));
        if (!coupling.isEmpty())
            data->setFunctionName(QStringLiteral("AC+DC: ") + coupling);
        readings.append(data.release());
    };
    add(2, {});
    add(2, {});
    add(25, QStringLiteral("AC"));
    add(25, QStringLiteral("DC"));
    add(6, {});
    add(2, {});
    return readings;
}

// As the window's table: a change of function (the AC+DC couplings being one) starts again at
// row 1, and a reading of a new function that is not written still begins its file.
void TestCliFormat::journalBeginsAFileForEachFunction()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QList<DmmData *> readings = functionChangeReadings();
    const int notWritten = 4;
    {
        CliJournal journal(dir.path());
        for (int i = 0; i < readings.size(); ++i) {
            journal.follow(*readings.at(i));
            if (i != notWritten)
                journal.append(*readings.at(i));
        }
    }
    qDeleteAll(readings);

    const QStringList files = QDir(dir.path()).entryList(QDir::Files, QDir::Name);
    QCOMPARE(files, QStringList({"2026-12-06_14-03-22.csv", "2026-12-06_14-03-26.csv",
                                 "2026-12-06_14-03-30.csv", "2026-12-06_14-03-32.csv"}));
    const QList<QList<int>> stretches = {{0, 1}, {2, 3}, {}, {5}};
    for (int i = 0; i < files.size(); ++i) {
        const QList<DmmData *> expected = functionChangeReadings();
        QList<DmmData *> stretch;
        for (int index : stretches.at(i))
            stretch.append(expected.at(index));
        for (DmmData *data : expected) {
            if (!stretch.contains(data))
                delete data;
        }
        QCOMPARE(testfiles::readAll(dir.filePath(files.at(i))), exportOf(m_setup.columns, stretch));
    }
}

void TestCliFormat::jsonlCarriesEveryField()
{
    auto data = reading(2, 0x31, QStringLiteral("-12.345"), -12.345);
    data->setHold(true);
    data->setManualRange(true);
    data->setMaxMinText(QStringLiteral("MAX"));
    const QByteArray line = JsonlFormatter().reading(1, *data);
    QVERIFY(line.endsWith('\n'));
    QCOMPARE(line.count('\n'), 1);
    QJsonObject object = QJsonDocument::fromJson(line).object();
    const QString time = object.take("timestamp").toString();
    QCOMPARE(QDateTime::fromString(time, Qt::ISODateWithMs), data->timestamp());
    QVERIFY(time.contains(".123"));
    QCOMPARE(object, QJsonDocument::fromJson(R"({"value": -12.345, "valueText": "-12.345",
        "overload": 0, "unitText": "V", "rangeText": "60", "functionName": "DCV",
        "maxMinText": "MAX", "hold": true, "relative": false, "statusBit3": false,
        "manualRange": true, "lowBattery": false, "statusBit0": false, "peakText": "",
        "couplingText": "", "functionCode": 2, "rangeCode": 49})")
                         .object());
    // An event line carries the event and its time.
    const QDateTime eventTime(QDate(2026, 1, 2), QTime(3, 4, 5, 6));
    const QJsonObject event =
        QJsonDocument::fromJson(JsonlFormatter().event(QStringLiteral("disconnected"), eventTime))
            .object();
    QCOMPARE(event.value("event").toString(), QStringLiteral("disconnected"));
    QCOMPARE(QDateTime::fromString(event.value("timestamp").toString(), Qt::ISODateWithMs),
             eventTime);
}

void TestCliFormat::influxEscapesTagsAndFields_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("function");
    QTest::addColumn<int>("range");
    QTest::addColumn<QString>("valueText");
    QTest::addColumn<QString>("parsed"); // model tag|function tag|unit tag|value text field
    const auto row = [](const char *name, const char *model, int function, int range,
                        const char *valueText, const char *parsed) {
        QTest::newRow(name) << QString(model) << function << range << QString(valueText)
                            << QString::fromUtf8(parsed);
    };
    row("duty cycle has a space", "VX310A", 5, 0x30, " 50.0 ", "VX310A|Duty Cycle|%| 50.0 ");
    row("ohms, model with comma and space", "VX 310,A", 6, 0x31, "1.234", "VX 310,A|RES|KΩ|1.234");
    row("unit-less has no unit tag", "VX310A", 18, 0x30, " 123", "VX310A|hFE|(none)| 123");
    row("quote and backslash in text", "VX310A", 2, 0x30, "1\"2\\3", "VX310A|DCV|V|1\"2\\3");
    row("line breaks become spaces", "VX\n310=A\\", 2, 0x30, "1.2\r\n", "VX 310=A\\|DCV|V|1.2  ");
}

void TestCliFormat::influxEscapesTagsAndFields()
{
    QFETCH(QString, model);
    QFETCH(int, function);
    QFETCH(int, range);
    QFETCH(QString, valueText);
    auto data = reading(quint8(function), quint8(range), valueText, 1.5);
    data->setRelative(true);
    const InfluxLine line =
        parseInflux(QString::fromUtf8(InfluxFormatter(model).reading(1, *data)));
    QVERIFY(line.ok);
    QCOMPARE(line.measurement, QStringLiteral("meter"));
    QTEST(QStringList({line.tags.value("model"), line.tags.value("function"),
                       line.tags.value("unit", "(none)"), line.fields.value("valueText")})
              .join('|'),
          "parsed");
    QCOMPARE(line.fields.value("value"), QStringLiteral("1.5"));
    QCOMPARE(line.fields.value("overload"), QStringLiteral("0i"));
    QCOMPARE(line.fields.value("relative"), QStringLiteral("true"));
    QCOMPARE(line.fields.value("hold"), QStringLiteral("false"));
    QCOMPARE(line.timestamp, data->timestamp().toMSecsSinceEpoch() * 1000000);
}

void TestCliFormat::statsOfTheLastFunction()
{
    ReadingStats stats;
    stats.add(*reading(3, 0x30, "9", 9)); // another function first: not in the figures
    for (double v : {1.0, 2.0, 3.0, 4.0})
        stats.add(*reading(2, 0x30, QString::number(v), v));
    QCOMPARE(stats.readings(), 5);
    QCOMPARE(stats.function(), QStringLiteral("DCV"));
    QCOMPARE(stats.numeric(), 4);
    QCOMPARE(stats.min(), 1.0);
    QCOMPARE(stats.max(), 4.0);
    QCOMPARE(stats.mean(), 2.5);
    QVERIFY(qAbs(stats.standardDeviation() - 1.2909944487358056) < 1e-12);
    QVERIFY(stats.summary().contains(QStringLiteral("mean: 2.5 V")));
}

void TestCliFormat::statsCountOverloadsApart()
{
    ReadingStats stats;
    auto over = reading(6, 0x30, "  O.L  ", 600);
    over->setOverload(1);
    stats.add(*over);
    stats.add(*reading(6, 0x31, "1.000", 1000)); // resistance values are in ohms
    stats.add(*reading(6, 0x31, "3.000", 3000));
    QCOMPARE(stats.overloads(), 1);
    QCOMPARE(stats.numeric(), 2);
    QCOMPARE(stats.max(), 3000.0);
    QCOMPARE(stats.unit(), QString(QChar(0x03A9)));
    // The two couplings of AC+DC are one function.
    ReadingStats dual;
    auto ac = reading(25, 0x30, "1", 1);
    ac->setFunctionName("AC+DC: AC");
    auto dc = reading(25, 0x30, "3", 3);
    dc->setFunctionName("AC+DC: DC");
    dual.add(*ac);
    dual.add(*dc);
    QCOMPARE(dual.numeric(), 2);
    QCOMPARE(dual.mean(), 2.0);
}

void TestCliFormat::optionsCollectKeysInOrder()
{
    CliOptions options;
    QString error;
    QString text;
    bool exitNow = false;
    QVERIFY(CliOptions::parse({"klm704-cli", "--key", "hold", "--key", "exit-maxmin", "--rate", "0",
                               "--format", "influx", "--samples", "5"},
                              &options, &error, &exitNow, &text));
    QCOMPARE(options.keys, QByteArray("\x4A\x42"));
    QCOMPARE(options.rate, 0);
    QCOMPARE(options.samples, 5);
    QVERIFY(options.format == CliOptions::Format::Influx);
}

QTEST_GUILESS_MAIN(TestCliFormat)
#include "tst_cliformat.moc"
