#include "cli/clijournal.h"
#include "cli/csvformatter.h"
#include "cli/influxformatter.h"
#include "cli/jsonlformatter.h"
#include "cli/readingstats.h"
#include "influxline.h"
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

static const QDateTime kTime(QDate(2026, 12, 6), QTime(14, 3, 22, 123));

class TestCliFormat : public QObject
{
    Q_OBJECT
private:
    // A reading at 14:03:22.123, number choosing its annunciators as makeReading does.
    std::unique_ptr<DmmData> reading(quint8 function, quint8 range, const char *text, double value,
                                     int number = 0, const QString &coupling = {})
    {
        const FunctionTable &table = function == 25 ? m_setup.eTable : m_setup.defaultTable;
        return std::unique_ptr<DmmData>(recordsamples::makeReading(
            findEntry(table, function, range), {text, value, 0}, number, kTime, coupling));
    }
    recordsamples::RecordSetup m_setup;

private slots:
    // Every row of both tables, as the table's columns show it.
    void csvIsTheExportOfTheSameReadings()
    {
        DataModel model(m_setup.columns); // takes its readings over
        CsvFormatter formatter;
        QByteArray lines = formatter.header();
        for (DmmData *data : recordsamples::everyRowReadings(m_setup.defaultTable, m_setup.eTable,
                                                             QDateTime::currentDateTime())) {
            lines += formatter.reading(model.rowCount() + 1, *data);
            model.appendRecord(data);
        }
        QBuffer exported;
        QVERIFY(exported.open(QIODevice::WriteOnly) && writeCsv(&model, exported));
        QCOMPARE(lines, exported.data());
    }

    // As the window's table: a change of function (the AC+DC couplings being one) starts again at
    // row 1, and a reading of a new function that is not written still begins its file.
    void journalBeginsAFileForEachFunction()
    {
        QTemporaryDir dir;
        QList<std::shared_ptr<DmmData>> readings; // DCV, DCV, AC+DC AC, AC+DC DC, RES, DCV
        auto journal = std::make_unique<CliJournal>(dir.path(), Journal::kDefaultQuota);
        for (const auto &[function, coupling] : QList<QPair<int, QString>>{
                 {2, ""}, {2, ""}, {25, "AC"}, {25, "DC"}, {6, ""}, {2, ""}}) {
            readings.append(reading(quint8(function), 0x30, "1", 1, 0, coupling));
            readings.last()->setTimestamp(kTime.addSecs(2 * readings.size()));
            journal->follow(*readings.last());
            if (function != 6) // not written
                journal->append(*readings.last());
        }
        journal.reset();
        const QStringList files = QDir(dir.path()).entryList(QDir::Files, QDir::Name);
        QCOMPARE(files, QStringList({"2026-12-06_14-03-24.csv", "2026-12-06_14-03-28.csv",
                                     "2026-12-06_14-03-32.csv", "2026-12-06_14-03-34.csv"}));
        const QList<QList<int>> stretches = {{0, 1}, {2, 3}, {}, {5}};
        CsvFormatter csv; // checked against the export above
        for (int i = 0; i < files.size(); ++i) {
            QByteArray expected = csv.header();
            for (int row = 0; row < stretches.at(i).size(); ++row)
                expected += csv.reading(row + 1, *readings.at(stretches.at(i).at(row)));
            QCOMPARE(testfiles::readAll(dir.filePath(files.at(i))), expected);
        }
    }

    void jsonlCarriesEveryField()
    {
        const auto data = reading(2, 0x31, "-12.345", -12.345, 13); // MAX, P-MAX, bits 0, 2, 3
        const QByteArray line = JsonlFormatter("bench 1").reading(1, *data);
        QJsonObject object = QJsonDocument::fromJson(line).object();
        const QString time = object.take("timestamp").toString();
        QCOMPARE(QDateTime::fromString(time, Qt::ISODateWithMs), data->timestamp());
        QCOMPARE(object, QJsonDocument::fromJson(
                             R"({"meter": "bench 1", "value": -12.345, "valueText": "-12.345",
            "overload": 0, "unitText": "V", "rangeText": "60", "functionName": "DCV",
            "maxMinText": "MAX", "hold": true, "relative": false, "statusBit3": true,
            "manualRange": true, "lowBattery": false, "statusBit0": false, "peakText": "P-MAX",
            "couplingText": "", "functionCode": 2, "rangeCode": 49})")
                             .object());
        QCOMPARE(JsonlFormatter("bench 1").event("disconnected", data->timestamp()),
                 "{\"event\":\"disconnected\",\"meter\":\"bench 1\",\"timestamp\":\"" +
                     time.toLatin1() + "\"}\n");
    }

    void influxEscapesTagsAndFields_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<QString>("meter");
        QTest::addColumn<int>("function");
        QTest::addColumn<QByteArray>("valueText");
        // model tag|meter tag|function tag|unit tag|value text field
        QTest::addColumn<QString>("parsed");
        const auto row = [](const char *name, const char *model, const char *meter, int function,
                            const char *valueText, const char *parsed) {
            QTest::newRow(name) << QString(model) << QString::fromUtf8(meter) << function
                                << QByteArray(valueText) << QString::fromUtf8(parsed);
        };
        row("duty cycle has a space", "VX310A", "bench-pc-ch9329", 5, " 50.0 ",
            "VX310A|bench-pc-ch9329|Duty Cycle|%| 50.0 ");
        row("ohms, model and meter with comma, space, equals", "VX 310,A", "bench 1,a=b", 6,
            "1.234", "VX 310,A|bench 1,a=b|RES|Ω|1.234");
        row("unit-less has no unit tag, empty meter none", "VX310A", "", 18, " 123",
            "VX310A|(none)|hFE|(none)| 123");
        row("quote, backslash, line breaks", "VX\n310=A\\", "a\\b\r", 2, "1\"2\\3\r\n",
            "VX 310=A\\|a\\b |DCV|V|1\"2\\3  ");
    }

    void influxEscapesTagsAndFields()
    {
        QFETCH(QString, model);
        QFETCH(QString, meter);
        QFETCH(int, function);
        QFETCH(QByteArray, valueText);
        const auto data = reading(quint8(function), 0x30, valueText, 1.5, 2); // relative
        const InfluxLine line =
            parseInflux(QString::fromUtf8(InfluxFormatter(model, meter).reading(1, *data)));
        QVERIFY(line.ok);
        QTEST(QStringList({line.tags.value("model"), line.tags.value("meter", "(none)"),
                           line.tags.value("function"), line.tags.value("unit", "(none)"),
                           line.fields.value("valueText")})
                  .join('|'),
              "parsed");
        QCOMPARE(QStringList({line.fields["value"], line.fields["overload"],
                              line.fields["relative"], line.fields["hold"]}),
                 QStringList({"1.5", "0i", "true", "false"}));
        QCOMPARE(line.timestamp, data->timestamp().toMSecsSinceEpoch() * 1000000);
    }

    // The figures are of the numeric readings of the last function, in its base unit (ohms, not
    // kilohms), with overloads counted apart; the AC+DC couplings are one function.
    void statsOfTheLastFunction()
    {
        ReadingStats stats;
        for (quint8 function : {2, 6}) { // an overload of another function first: not counted
            auto over = reading(function, 0x31, "  O.L  ", 600);
            over->setOverload(1);
            stats.add(*over);
        }
        stats.add(*reading(6, 0x31, "1.000", 1000));
        stats.add(*reading(6, 0x31, "3.000", 3000));
        QCOMPARE(stats.summary(), QString::fromUtf8("readings: 4\nfirst: 2026-12-06 14:03:22.123\n"
                                                    "last: 2026-12-06 14:03:22.123\n"
                                                    "function: RES (2 numeric, 1 overload)\n"
                                                    "min: 1000 Ω\nmax: 3000 Ω\nmean: 2000 Ω\n"
                                                    "stddev: 1414.213562 Ω\n"));
        stats.add(*reading(25, 0x30, "1", 1, 0, "AC"));
        stats.add(*reading(25, 0x30, "3", 3, 0, "DC"));
        QVERIFY2(stats.summary().contains("(2 numeric, 0 overload)\nmin: 1 V\nmax: 3 V\nmean: 2 V"),
                 qPrintable(stats.summary()));
    }
};

QTEST_GUILESS_MAIN(TestCliFormat)
#include "tst_cliformat.moc"
