#include "cli/clioptions.h"
#include "cli/influxformatter.h"
#include "cli/jsonlformatter.h"
#include "cli/readingstats.h"
#include "meter/dmmdata.h"
#include "meter/functionentry.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>
#include <memory>

namespace {

// One line of InfluxDB line protocol, read strictly: a violation of the escaping rules fails.
struct InfluxLine
{
    QString measurement;
    QMap<QString, QString> tags;
    QMap<QString, QString> fields; // string fields without their quotes, unescaped
    qint64 timestamp = 0;
    bool ok = false;
};

// Reads up to an unescaped stop character; a backslash escapes comma, equals and space.
QString readEscaped(const QString &line, int &pos, const QString &stops, bool *ok)
{
    QString text;
    while (pos < line.size() && !stops.contains(line.at(pos))) {
        if (line.at(pos) == '\\' && pos + 1 < line.size() &&
            QStringLiteral(", =").contains(line.at(pos + 1)))
            ++pos;
        else if (line.at(pos) == '"' || line.at(pos) == '\n')
            *ok = false;
        text += line.at(pos++);
    }
    return text;
}

InfluxLine parseInflux(const QString &line)
{
    InfluxLine parsed;
    bool ok = line.endsWith('\n');
    int pos = 0;
    parsed.measurement = readEscaped(line, pos, QStringLiteral(", "), &ok);
    while (ok && pos < line.size() && line.at(pos) == ',') {
        ++pos;
        const QString key = readEscaped(line, pos, QStringLiteral("="), &ok);
        ++pos;
        const QString value = readEscaped(line, pos, QStringLiteral(", "), &ok);
        ok = ok && !key.isEmpty() && !value.isEmpty();
        parsed.tags.insert(key, value);
    }
    ok = ok && pos < line.size() && line.at(pos++) == ' ';
    while (ok && pos < line.size() && line.at(pos) != ' ') {
        const QString key = readEscaped(line, pos, QStringLiteral("="), &ok);
        ok = ok && pos < line.size() && line.at(pos++) == '=';
        QString value;
        if (ok && line.at(pos) == '"') {
            for (++pos; pos < line.size() && line.at(pos) != '"'; ++pos) {
                if (line.at(pos) == '\\') {
                    ++pos;
                    ok = ok && pos < line.size() && QStringLiteral("\"\\").contains(line.at(pos));
                }
                value += line.at(pos);
            }
            ok = ok && pos < line.size();
            ++pos;
        } else {
            while (pos < line.size() && line.at(pos) != ',' && line.at(pos) != ' ')
                value += line.at(pos++);
            const bool number = QRegularExpression(QStringLiteral("^-?[0-9.]+(e[-+]?[0-9]+)?i?$"))
                                    .match(value)
                                    .hasMatch();
            ok = ok && (number || value == "true" || value == "false");
        }
        parsed.fields.insert(key, value);
        if (ok && pos < line.size() && line.at(pos) == ',')
            ++pos;
    }
    ok = ok && pos < line.size() && line.at(pos++) == ' ';
    parsed.timestamp = line.mid(pos).trimmed().toLongLong(&ok);
    parsed.ok = ok;
    return parsed;
}

} // namespace

class TestCliFormat : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void jsonlCarriesEveryField();
    void jsonlEventLine();
    void influxEscapesTagsAndFields_data();
    void influxEscapesTagsAndFields();
    void statsOfTheLastFunction();
    void statsCountOverloadsApart();
    void optionsRejectBadValues_data();
    void optionsRejectBadValues();
    void optionsCollectKeysInOrder();

private:
    std::unique_ptr<DmmData> reading(quint8 function, quint8 range, const QString &valueText,
                                     double value);
    FunctionTable m_default;
    FunctionTable m_e;
};

void TestCliFormat::initTestCase()
{
    buildTables(m_default, m_e);
}

void TestCliFormat::cleanupTestCase()
{
    qDeleteAll(m_default);
    qDeleteAll(m_e);
}

std::unique_ptr<DmmData> TestCliFormat::reading(quint8 function, quint8 range,
                                                const QString &valueText, double value)
{
    auto data = std::make_unique<DmmData>();
    const FunctionEntry *entry = findEntry(function == 25 ? m_e : m_default, function, range);
    data->setEntry(entry);
    data->setTimestamp(QDateTime(QDate(2026, 12, 6), QTime(14, 3, 22, 123)));
    data->setValueText(valueText);
    data->setValue(value);
    data->setFunctionName(entry->name());
    data->setUnitText(entry->prefix() + entry->unit());
    data->setRangeText(QString::number(entry->fullScale()));
    return data;
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
    QJsonParseError error;
    const QJsonObject object = QJsonDocument::fromJson(line, &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    const QStringList expectedKeys = {
        "timestamp",    "value",      "valueText", "overload",     "unitText",     "rangeText",
        "functionName", "maxMinText", "hold",      "relative",     "statusBit3",   "manualRange",
        "lowBattery",   "statusBit0", "peakText",  "couplingText", "functionCode", "rangeCode"};
    for (const QString &key : expectedKeys)
        QVERIFY2(object.contains(key), qPrintable(key));
    QCOMPARE(object.size(), expectedKeys.size());
    QCOMPARE(object.value("value").toDouble(), -12.345);
    QCOMPARE(object.value("valueText").toString(), QStringLiteral("-12.345"));
    QCOMPARE(object.value("functionName").toString(), QStringLiteral("DCV"));
    QCOMPARE(object.value("hold").toBool(), true);
    QCOMPARE(object.value("relative").toBool(), false);
    QCOMPARE(object.value("manualRange").toBool(), true);
    QCOMPARE(object.value("functionCode").toInt(), 2);
    QCOMPARE(object.value("rangeCode").toInt(), 0x31);
    const QDateTime parsed =
        QDateTime::fromString(object.value("timestamp").toString(), Qt::ISODateWithMs);
    QCOMPARE(parsed, data->timestamp());
    QVERIFY(object.value("timestamp").toString().contains(".123"));
}

void TestCliFormat::jsonlEventLine()
{
    const QDateTime time(QDate(2026, 1, 2), QTime(3, 4, 5, 6));
    const QJsonObject object =
        QJsonDocument::fromJson(JsonlFormatter().event(QStringLiteral("disconnected"), time))
            .object();
    QCOMPARE(object.value("event").toString(), QStringLiteral("disconnected"));
    QCOMPARE(QDateTime::fromString(object.value("timestamp").toString(), Qt::ISODateWithMs), time);
}

void TestCliFormat::influxEscapesTagsAndFields_data()
{
    QTest::addColumn<int>("function");
    QTest::addColumn<int>("range");
    QTest::addColumn<QString>("valueText");
    QTest::addColumn<QString>("functionTag");
    QTest::addColumn<QString>("unitTag");
    QTest::newRow("duty cycle has a space") << 5 << 0x30 << " 50.0 "
                                            << "Duty Cycle"
                                            << "%";
    QTest::newRow("ohms") << 6 << 0x31 << "1.234"
                          << "RES" << QString("K") + QChar(0x03A9);
    QTest::newRow("unit-less has no unit tag") << 18 << 0x30 << " 123"
                                               << "hFE"
                                               << "";
    QTest::newRow("quote in text") << 2 << 0x30 << "1\"2\\3"
                                   << "DCV"
                                   << "V";
}

void TestCliFormat::influxEscapesTagsAndFields()
{
    QFETCH(int, function);
    QFETCH(int, range);
    QFETCH(QString, valueText);
    QFETCH(QString, functionTag);
    QFETCH(QString, unitTag);
    auto data = reading(quint8(function), quint8(range), valueText, 1.5);
    data->setRelative(true);
    const InfluxLine line = parseInflux(
        QString::fromUtf8(InfluxFormatter(QStringLiteral("VX 310,A")).reading(1, *data)));
    QVERIFY(line.ok);
    QCOMPARE(line.measurement, QStringLiteral("meter"));
    QCOMPARE(line.tags.value("model"), QStringLiteral("VX 310,A"));
    QCOMPARE(line.tags.value("function"), functionTag);
    QCOMPARE(line.tags.contains("unit"), !unitTag.isEmpty());
    QCOMPARE(line.tags.value("unit"), unitTag);
    QCOMPARE(line.fields.value("valueText"), valueText);
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

void TestCliFormat::optionsRejectBadValues_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("unknown option") << QStringList{"--bogus"};
    QTest::newRow("samples zero") << QStringList{"--samples", "0"};
    QTest::newRow("samples text") << QStringList{"--samples", "ten"};
    QTest::newRow("negative rate") << QStringList{"--rate", "-1"};
    QTest::newRow("time zero") << QStringList{"--time", "0"};
    QTest::newRow("unknown key") << QStringList{"--key", "power"};
    QTest::newRow("unknown format") << QStringList{"--format", "xml"};
    QTest::newRow("stray argument") << QStringList{"extra"};
}

void TestCliFormat::optionsRejectBadValues()
{
    QFETCH(QStringList, arguments);
    CliOptions options;
    QString error;
    QString text;
    bool exitNow = false;
    QVERIFY(!CliOptions::parse(QStringList{"klm704-cli"} + arguments, &options, &error, &exitNow,
                               &text));
    QVERIFY(!error.isEmpty());
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

QTEST_APPLESS_MAIN(TestCliFormat)
#include "tst_cliformat.moc"
