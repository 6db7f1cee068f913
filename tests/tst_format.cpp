#include "format/csvformatter.h"
#include "format/influxformatter.h"
#include "format/jsonlformatter.h"
#include "influxline.h"
#include "record/csvwriter.h"
#include "record/datamodel.h"
#include "recordsamples.h"
#include "session/readingstats.h"

#include <QBuffer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>
#include <memory>

static const QDateTime kTime(QDate(2026, 12, 6), QTime(14, 3, 22, 123));

class TestFormat : public QObject
{
    Q_OBJECT
private:
    // A reading at 14:03:22.123, number choosing its annunciators as makeReading does.
    std::unique_ptr<DmmData> reading(quint8 function, quint8 range, const char *text, double value,
                                     int number = 0, int overload = 0)
    {
        const FunctionTable &table = function == 25 ? m_setup.eTable : m_setup.defaultTable;
        return std::unique_ptr<DmmData>(recordsamples::makeReading(
            findEntry(table, function, range), {text, value, overload}, number, kTime));
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

    void jsonlCarriesEveryField()
    {
        const auto data = reading(2, 0x31, "-12.345", -12.345, 13); // MAX, P-MAX, bits 0, 2, 3
        QJsonObject object =
            QJsonDocument::fromJson(JsonlFormatter("bench 1").reading(1, *data)).object();
        QCOMPARE(QDateTime::fromString(object.take("timestamp").toString(), Qt::ISODateWithMs),
                 data->timestamp());
        QCOMPARE(object, QJsonDocument::fromJson(
                             R"({"meter": "bench 1", "value": -12.345, "valueText": "-12.345",
            "overload": 0, "unitText": "V", "rangeText": "60", "functionName": "DCV",
            "maxMinText": "MAX", "hold": true, "relative": false, "statusBit3": true,
            "manualRange": true, "lowBattery": false, "statusBit0": false, "peakText": "P-MAX",
            "couplingText": "", "functionCode": 2, "rangeCode": 49})")
                             .object());
        // Limits add the side passed, on the limit is inside, an overload passes its side's.
        LimitAlarm limits;
        limits.setLimits(-12.345, 1.0);
        const auto over = reading(2, 0x31, "  O.L  ", 0, 0, -1);
        const auto above = reading(2, 0x31, "1.001", 1.001);
        QStringList alarms;
        for (const DmmData *d : {data.get(), above.get(), over.get()})
            alarms << QJsonDocument::fromJson(JsonlFormatter("m", limits).reading(1, *d))["alarm"]
                          .toString("inside");
        QCOMPARE(alarms, QStringList({"inside", "high", "low"}));
    }

    void influxEscapesTagsAndFields_data()
    {
        QTest::addColumn<QStringList>("input"); // model|meter|function|value text
        QTest::addColumn<QString>("parsed");    // model|meter|function|unit tag|value text field
        const auto row = [](const char *input, const char *parsed) {
            QTest::newRow(input) << QString::fromUtf8(input).split('|')
                                 << QString::fromUtf8(parsed) + "|1.5|0i|true|false";
        };
        row("VX 310,A|bench 1,a=b|6|1.234", "VX 310,A|bench 1,a=b|RES|Ω|1.234");
        row("VX310A||5| 50.0 ", "VX310A|(none)|Duty Cycle|%| 50.0 "); // no meter tag
        row("VX310A|m|18| 123", "VX310A|m|hFE|(none)| 123");
        row("VX\n310=A\\|a\\b\r|2|1\"2\\3\r\n", "VX 310=A\\|a\\b |DCV|V|1\"2\\3  ");
    }

    void influxEscapesTagsAndFields()
    {
        QFETCH(QStringList, input);
        const auto data = reading(quint8(input[2].toInt()), 0x30, input[3].toUtf8(), 1.5, 2);
        const InfluxLine line =
            parseInflux(QString::fromUtf8(InfluxFormatter(input[0], input[1]).reading(1, *data)));
        QVERIFY(line.ok);
        QTEST(QStringList({line.tags.value("model"), line.tags.value("meter", "(none)"),
                           line.tags.value("function"), line.tags.value("unit", "(none)"),
                           line.fields.value("valueText"), line.fields["value"],
                           line.fields["overload"], line.fields["relative"], line.fields["hold"]})
                  .join('|'),
              "parsed");
        QCOMPARE(line.timestamp, data->timestamp().toMSecsSinceEpoch() * 1000000);
    }

    // The figures are of the numeric readings of the last function, in its base unit (ohms, not
    // kilohms) at the meter's step with a prefix, with overloads and alarms counted apart.
    void statsOfTheLastFunction()
    {
        LimitAlarm limits;
        limits.setLimits(std::nullopt, 2500);
        ReadingStats stats(limits);
        stats.add(*reading(2, 0x31, "9.000", 9)); // another function: forgotten
        for (const auto &[text, value] :
             {std::pair("  O.L  ", 0), {"1.000", 1000}, {"3.000", 3000}})
            stats.add(*reading(6, 0x31, text, value, 0, !value));
        QCOMPARE(stats.summary(), QString::fromUtf8("readings: 4\nfirst: 2026-12-06 14:03:22.123\n"
                                                    "last: 2026-12-06 14:03:22.123\n"
                                                    "function: RES (2 numeric, 1 overload)\n"
                                                    "alarms: 2\nmin: 1.000 kΩ\nmax: 3.000 kΩ\n"
                                                    "mean: 2.000 kΩ\nstddev: 1.414 kΩ\n"));
    }
};

QTEST_GUILESS_MAIN(TestFormat)
#include "tst_format.moc"
