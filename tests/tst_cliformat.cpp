#include "cli/clijournal.h"
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

private:
    std::unique_ptr<DmmData> reading(quint8 function, quint8 range, const QString &valueText,
                                     double value);
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
    DataModel model(m_setup.columns); // takes its readings over
    CsvFormatter formatter;
    QByteArray lines = formatter.header();
    for (DmmData *data : makeReadings()) {
        lines += formatter.reading(model.rowCount() + 1, *data);
        model.appendRecord(data);
    }
    QBuffer exported;
    QVERIFY(exported.open(QIODevice::WriteOnly) && writeCsv(&model, exported));
    QCOMPARE(lines, exported.data());
}

// As the window's table: a change of function (the AC+DC couplings being one) starts again at
// row 1, and a reading of a new function that is not written still begins its file.
void TestCliFormat::journalBeginsAFileForEachFunction()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QList<std::shared_ptr<DmmData>> readings; // DCV, DCV, AC+DC AC, AC+DC DC, RES, DCV
    for (const auto &[function, coupling] :
         QList<QPair<int, QString>>{{2, ""}, {2, ""}, {25, "AC"}, {25, "DC"}, {6, ""}, {2, ""}}) {
        auto data = reading(quint8(function), 0x30, QString::number(readings.size()), 1);
        data->setTimestamp(data->timestamp().addSecs(2 * readings.size()));
        if (!coupling.isEmpty())
            data->setFunctionName("AC+DC: " + coupling);
        readings.append(std::move(data));
    }
    const int notWritten = 4;
    {
        CliJournal journal(dir.path());
        for (int i = 0; i < readings.size(); ++i) {
            journal.follow(*readings.at(i));
            if (i != notWritten)
                journal.append(*readings.at(i));
        }
    }
    const QStringList files = QDir(dir.path()).entryList(QDir::Files, QDir::Name);
    QCOMPARE(files, QStringList({"2026-12-06_14-03-22.csv", "2026-12-06_14-03-26.csv",
                                 "2026-12-06_14-03-30.csv", "2026-12-06_14-03-32.csv"}));
    const QList<QList<int>> stretches = {{0, 1}, {2, 3}, {}, {5}};
    CsvFormatter csv; // checked against the export above
    for (int i = 0; i < files.size(); ++i) {
        QByteArray expected = csv.header();
        for (int row = 0; row < stretches.at(i).size(); ++row)
            expected += csv.reading(row + 1, *readings.at(stretches.at(i).at(row)));
        QCOMPARE(testfiles::readAll(dir.filePath(files.at(i))), expected);
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
    QCOMPARE(
        JsonlFormatter().event("disconnected", data->timestamp()),
        QByteArray("{\"event\":\"disconnected\",\"timestamp\":\"" + time.toLatin1() + "\"}\n"));
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
    QCOMPARE(QStringList({line.fields["value"], line.fields["overload"], line.fields["relative"],
                          line.fields["hold"]}),
             QStringList({"1.5", "0i", "true", "false"}));
    QCOMPARE(line.timestamp, data->timestamp().toMSecsSinceEpoch() * 1000000);
}

// The figures are of the numeric readings of the last function, in its base unit (ohms, not
// kilohms), with overloads counted apart; the AC+DC couplings are one function.
void TestCliFormat::statsOfTheLastFunction()
{
    ReadingStats stats;
    for (quint8 function : {2, 6}) { // an overload of another function first: not counted
        auto over = reading(function, 0x31, "  O.L  ", 600);
        over->setOverload(1);
        stats.add(*over);
    }
    stats.add(*reading(6, 0x31, "1.000", 1000));
    stats.add(*reading(6, 0x31, "3.000", 3000));
    QCOMPARE(stats.readings(), 4);
    QCOMPARE(stats.numeric(), 2);
    QCOMPARE(stats.overloads(), 1);
    QCOMPARE(stats.min(), 1000.0);
    QCOMPARE(stats.max(), 3000.0);
    QVERIFY(qAbs(stats.standardDeviation() - std::sqrt(2e6)) < 1e-9);
    QVERIFY2(stats.summary().contains(QString::fromUtf8("mean: 2000 Ω")),
             qPrintable(stats.summary()));
    ReadingStats dual;
    for (const char *coupling : {"AC", "DC"}) {
        auto data = reading(25, 0x30, coupling, coupling[0] == 'A' ? 1 : 3);
        data->setFunctionName(QStringLiteral("AC+DC: ") + coupling);
        dual.add(*data);
    }
    QCOMPARE(dual.numeric(), 2);
    QCOMPARE(dual.mean(), 2.0);
}

QTEST_GUILESS_MAIN(TestCliFormat)
#include "tst_cliformat.moc"
