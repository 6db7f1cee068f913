#include "meter/dmmdata.h"
#include "meter/functionentry.h"
#include "meter/mydmm.h"
#include "replyframe.h"

#include <QtTest>
#include <memory>

namespace {

// Every row of both tables in order, written out by hand, with what a reply for it reads as:
// "function/range in hex|full scale|name|prefix|unit|upper|range text|factor on the display".
// clang-format off
const char *const kDefaultRows[] = {
    "0/30|6|ACV||V|0|6|1", "0/31|60|ACV||V|0|60|1", "0/32|600|ACV||V|0|600|1",
    "0/33|1000|ACV||V|0|1000|1",
    "1/30|60|ACmV|m|V|0|60|1", "1/31|600|ACmV|m|V|0|600|1",
    "2/30|6|DCV||V|0|6|1", "2/31|60|DCV||V|0|60|1", "2/32|600|DCV||V|0|600|1",
    "2/33|1000|DCV||V|0|1000|1",
    "3/30|60|DCmV|m|V|0|60|1", "3/31|600|DCmV|m|V|0|600|1",
    "4/30|99|FREQ||Hz|0|99|1", "4/31|999|FREQ||Hz|0|999|1", "4/32|9|FREQ|K|Hz|0|9|1e3",
    "4/33|99|FREQ|K|Hz|0|99|1e3", "4/34|999|FREQ|K|Hz|0|999|1e3", "4/35|9|FREQ|M|Hz|0|9|1e6",
    "5/30|999|Duty Cycle||%|0|-|1",
    "6/30|600|RES||Ω|0|600|1", "6/31|6|RES|K|Ω|0|6|1e3", "6/32|60|RES|K|Ω|0|60|1e3",
    "6/33|600|RES|K|Ω|0|600|1e3", "6/34|6|RES|M|Ω|0|6|1e6", "6/35|60|RES|M|Ω|0|60|1e6",
    "7/30|600|Short-Circuit||Ω|0|600|1", "8/30|6|Diode||V|0|6|1",
    "9/30|60|CAP|n|F|0|60|1e-9", "9/31|600|CAP|n|F|0|600|1e-9", "9/32|6|CAP|u|F|0|6|1e-6",
    "9/33|60|CAP|u|F|0|60|1e-6", "9/34|600|CAP|u|F|0|600|1e-6", "9/35|6|CAP|m|F|0|6|1e-3",
    "9/36|60|CAP|m|F|0|60|1e-3",
    "10/30|-40|Temperature||℃|300|300|1", "10/31|300|Temperature||℃|1000|1000|1",
    "11/30|-40|Temperature||℉|572|572|1", "11/31|572|Temperature||℉|1832|1832|1",
    "12/30|600|DCuA|u|A|0|600|1", "12/31|6000|DCuA|u|A|0|6000|1",
    "13/30|600|ACuA|u|A|0|600|1", "13/31|6000|ACuA|u|A|0|6000|1",
    "14/30|60|DCmA|m|A|0|60|1", "14/31|600|DCmA|m|A|0|600|1",
    "15/30|60|ACmA|m|A|0|60|1", "15/31|600|ACmA|m|A|0|600|1",
    "16/30|6|DCA||A|0|6|1", "16/31|10|DCA||A|0|10|1",
    "17/30|6|ACA||A|0|6|1", "17/31|10|ACA||A|0|10|1",
    "18/30|6000|hFE|||0|-|1", "19/30|6000|Live|||0|-|1",
    "20/30|6000|NCV|||0|-|1", "20/31|6000|NCV|||0|-|1",
    "21/30|600|LozV||V|0|600|1", "21/31|1000|LozV||V|0|1000|1",
    "22/30|99|FREQ||Hz|0|99|1", "22/31|999|FREQ||Hz|0|999|1", "22/32|9|FREQ|K|Hz|0|9|1e3",
    "22/33|99|FREQ|K|Hz|0|99|1e3", "22/34|999|FREQ|K|Hz|0|999|1e3", "22/35|9|FREQ|M|Hz|0|9|1e6",
    "23/30|999|Duty Cycle||%|0|-|1",
};

const char *const kERows[] = {
    "0/30|2|ACV||V|0|2|1", "0/31|22|ACV||V|0|22|1", "0/32|220|ACV||V|0|220|1",
    "0/33|1000|ACV||V|0|1000|1", "1/30|220|ACmV|m|V|0|220|1",
    "2/30|2|DCV||V|0|2|1", "2/31|22|DCV||V|0|22|1", "2/32|220|DCV||V|0|220|1",
    "2/33|1000|DCV||V|0|1000|1", "3/30|220|DCmV|m|V|0|220|1",
    "4/30|22|FREQ||Hz|0|22|1", "4/31|220|FREQ||Hz|0|220|1", "4/32|2|FREQ|K|Hz|0|2|1e3",
    "4/33|22|FREQ|K|Hz|0|22|1e3", "4/34|220|FREQ|K|Hz|0|220|1e3", "4/35|2|FREQ|M|Hz|0|2|1e6",
    "4/36|22|FREQ|M|Hz|0|22|1e6", "4/37|220|FREQ|M|Hz|0|220|1e6",
    "5/30|999|Duty Cycle||%|0|-|1",
    "6/30|220|RES||Ω|0|220|1", "6/31|2|RES|K|Ω|0|2|1e3", "6/32|22|RES|K|Ω|0|22|1e3",
    "6/33|220|RES|K|Ω|0|220|1e3", "6/34|2|RES|M|Ω|0|2|1e6", "6/35|22|RES|M|Ω|0|22|1e6",
    "6/36|220|RES|M|Ω|0|220|1e6",
    "7/30|200|Short-Circuit||Ω|0|200|1", "8/30|2|Diode||V|0|2|1",
    "9/30|22|CAP|n|F|0|22|1e-9", "9/31|220|CAP|n|F|0|220|1e-9", "9/32|2|CAP|u|F|0|2|1e-6",
    "9/33|22|CAP|u|F|0|22|1e-6", "9/34|220|CAP|u|F|0|220|1e-6", "9/35|2|CAP|m|F|0|2|1e-3",
    "9/36|22|CAP|m|F|0|22|1e-3", "9/37|220|CAP|m|F|0|220|1e-3",
    "10/30|-40|Celsius||℃|300|300|1", "10/31|300|Celsius||℃|1000|1000|1",
    "11/30|-40|Celsius||℉|572|572|1", "11/31|572|Celsius||℉|1832|1832|1",
    "12/30|220|DCuA|u|A|0|220|1", "12/31|2200|DCuA|u|A|0|2200|1",
    "13/30|220|ACuA|u|A|0|220|1", "13/31|2200|ACuA|u|A|0|2200|1",
    "14/30|22|DCmA|m|A|0|22|1", "14/31|220|DCmA|m|A|0|220|1",
    "15/30|22|ACmA|m|A|0|22|1", "15/31|220|ACmA|m|A|0|220|1",
    "16/30|2|DCA||A|0|2|1", "16/31|22|DCA||A|0|22|1",
    "17/30|2|ACA||A|0|2|1", "17/31|22|ACA||A|0|22|1",
    "18/30|6000|hFE|||0|-|1", "19/30|6000|Live|||0|-|1",
    "20/30|6000|NCV|||0|-|1", "20/31|6000|NCV|||0|-|1",
    "21/30|600|LozV||V|0|600|1", "21/31|1000|LozV||V|0|1000|1",
    "22/30|99|FREQ||Hz|0|99|1", "22/31|999|FREQ||Hz|0|999|1", "22/32|9|FREQ|K|Hz|0|9|1e3",
    "22/33|99|FREQ|K|Hz|0|99|1e3", "22/34|999|FREQ|K|Hz|0|999|1e3", "22/35|9|FREQ|M|Hz|0|9|1e6",
    "23/30|999|Duty Cycle||%|0|-|1",
    "24/30|2|LPF||V|0|2|1", "24/31|22|LPF||V|0|22|1", "24/32|220|LPF||V|0|220|1",
    "24/33|1000|LPF||V|0|1000|1",
    "25/30|2|AC+DC||V|0|2|1", "25/31|22|AC+DC||V|0|22|1", "25/32|220|AC+DC||V|0|220|1",
    "25/33|1000|AC+DC||V|0|1000|1",
};
// clang-format on

// A table row in the form of the list above, without the decoded texts.
QString describe(const FunctionEntry *entry)
{
    return QStringLiteral("%1/%2|%3|%4|%5|%6|%7")
        .arg(entry->key() >> 8)
        .arg(entry->key() & 0xFF, 0, 16)
        .arg(entry->fullScale())
        .arg(entry->name(), entry->prefix(), entry->unit())
        .arg(entry->upper().toInt());
}

using Reading = std::unique_ptr<DmmData>;

} // namespace

// The two function tables and the decoding of reply frames into readings.
class TestDecode : public QObject
{
    Q_OBJECT
private slots:
    void tablesHoldTheListedRowsOnly();
    void everyRowDecodes_data();
    void everyRowDecodes();
    void onlyListedFunctionsAreScaled();
    void classifyDisplay_data();
    void classifyDisplay();
    void displayValue_data();
    void displayValue();
    void overload_data();
    void overload();
    void shortOrUnknownFramesGiveNothing_data();
    void shortOrUnknownFramesGiveNothing();
    void statusBits_data();
    void statusBits();
    void acPlusDcShowsCoupling();
    void timestampIsNow();

private:
    Reading decode(const QByteArray &frame, bool eTable = false);

    MyDmm m_dmm{nullptr};
};

Reading TestDecode::decode(const QByteArray &frame, bool eTable)
{
    m_dmm.setModel(eTable ? QStringLiteral("VX310E") : QStringLiteral("VX52C+"));
    return Reading(m_dmm.decode(frame));
}

void TestDecode::tablesHoldTheListedRowsOnly()
{
    FunctionTable defaultTable, eTable;
    buildTables(defaultTable, eTable);
    buildTables(defaultTable, eTable); // building again replaces the rows
    QCOMPARE(defaultTable.size(), int(std::size(kDefaultRows)));
    QCOMPARE(eTable.size(), int(std::size(kERows)));
    QCOMPARE(defaultTable.size(), 63);
    QCOMPARE(eTable.size(), 73);
    qDeleteAll(defaultTable);
    qDeleteAll(eTable);
}

void TestDecode::everyRowDecodes_data()
{
    QTest::addColumn<bool>("eTable");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("row");
    for (const bool eTable : {false, true}) {
        const auto &rows = eTable ? kERows : kDefaultRows;
        const int count = eTable ? int(std::size(kERows)) : int(std::size(kDefaultRows));
        for (int index = 0; index < count; ++index)
            QTest::addRow("%s %s", eTable ? "e" : "default", rows[index])
                << eTable << index << QString::fromUtf8(rows[index]);
    }
}

void TestDecode::everyRowDecodes()
{
    QFETCH(bool, eTable);
    QFETCH(int, index);
    QFETCH(QString, row);
    const QStringList fields = row.split(QLatin1Char('|'));
    const FunctionTable &table = eTable ? m_dmm.eTable() : m_dmm.defaultTable();
    QVERIFY(index < table.size());
    QCOMPARE(describe(table.at(index)), fields.mid(0, 6).join(QLatin1Char('|')));

    const quint8 function = quint8(fields.at(0).section('/', 0, 0).toUInt());
    const quint8 range = quint8(fields.at(0).section('/', 1).toUInt(nullptr, 16));
    const Reading reading = decode(replyFrame(function, range, "  1.234"), eTable);
    QVERIFY(reading);
    QCOMPARE(reading->entry(), table.at(index));
    // An AC+DC reply without the coupling bit is its DC part.
    const QString name = fields.at(2) + (function == 25 ? QStringLiteral(": DC") : QString());
    QCOMPARE(reading->functionName(), name);
    QCOMPARE(reading->rangeText(), fields.at(6));
    QCOMPARE(reading->unitText(), fields.at(3) + fields.at(4));
    QCOMPARE(reading->value(), 1.234 * fields.at(7).toDouble());
    QCOMPARE(reading->couplingText().isEmpty(), function != 25);
}

void TestDecode::onlyListedFunctionsAreScaled()
{
    const QSet<int> listed = {4, 6, 7, 9, 18, 19, 20, 22};
    for (int code = 0; code < 256; ++code)
        QCOMPARE(isScaledFunction(quint8(code)), listed.contains(code));
    QCOMPARE(scaledFunctions.size(), listed.size());
}

void TestDecode::classifyDisplay_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("kind"); // 0 numeric, -1 negative overload, +1 positive overload
    QTest::newRow("number") << " -1.234" << 0;
    QTest::newRow("OL") << "   OL  " << 1;
    QTest::newRow("-OL") << "  -OL  " << -1;
    QTest::newRow("O and L apart") << "O 0.L  " << 1;
    QTest::newRow("L before O") << "L--O   " << -1;
    QTest::newRow("only O") << "  0.O  " << 0;
    QTest::newRow("only L") << "  L    " << 0;
    QTest::newRow("small letters") << "   ol  " << 0;
    QTest::newRow("dashes") << " ----  " << 0;
}

void TestDecode::classifyDisplay()
{
    QFETCH(QString, text);
    QFETCH(int, kind);
    const QByteArray latin1 = text.toLatin1();
    const MyDmm::DisplayKind expected = kind == 0   ? MyDmm::DisplayKind::Numeric
                                        : kind == 1 ? MyDmm::DisplayKind::PositiveOverload
                                                    : MyDmm::DisplayKind::NegativeOverload;
    QCOMPARE(MyDmm::classifyDisplay(QLatin1String(latin1)), expected);
}

void TestDecode::displayValue_data()
{
    QTest::addColumn<QByteArray>("display");
    QTest::addColumn<double>("value");
    QTest::newRow("negative") << QByteArray("-12.345") << -12.345;
    QTest::newRow("padded") << QByteArray(" 0.0012") << 0.0012;
    QTest::newRow("spaces inside") << QByteArray("- 1 2.5") << -12.5;
    QTest::newRow("plus sign") << QByteArray("+  9.90") << 9.9;
    QTest::newRow("no decimals") << QByteArray("   6000") << 6000.0;
    QTest::newRow("point first") << QByteArray("   .500") << 0.5;
    QTest::newRow("dashes") << QByteArray(" ----  ") << 0.0;
    QTest::newRow("lone sign") << QByteArray("   -   ") << 0.0;
    QTest::newRow("comma") << QByteArray("  1,234") << 0.0;
    QTest::newRow("letters") << QByteArray("  1.2E3") << 0.0;
    QTest::newRow("two points") << QByteArray(" 1.2.34") << 0.0;
    QTest::newRow("sign after digit") << QByteArray("  12-34") << 0.0;
    QTest::newRow("blank") << QByteArray("       ") << 0.0;
    QTest::newRow("zero bytes") << QByteArray(7, '\0') << 0.0;
}

void TestDecode::displayValue()
{
    QFETCH(QByteArray, display);
    QFETCH(double, value);
    // A scaled function: the value is in ohms, the text stays as the meter showed it.
    const Reading reading = decode(replyFrame(6, 0x32, display));
    QVERIFY(reading);
    QCOMPARE(reading->value(), value * 1000);
    QCOMPARE(reading->overload(), 0);
    QCOMPARE(reading->valueText(), QString::fromLatin1(display.leftJustified(7, ' ', true), 7));
}

void TestDecode::overload_data()
{
    QTest::addColumn<int>("function");
    QTest::addColumn<int>("range");
    QTest::addColumn<QByteArray>("display");
    QTest::addColumn<int>("overload");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("rangeText");
    const auto row = [](const char *name, int function, int range, const char *display,
                        int overload, double value, const char *rangeText) {
        QTest::newRow(name) << function << range << QByteArray(display) << overload << value
                            << QString(rangeText);
    };
    row("60 KOhm over", 6, 0x32, "   OL  ", 1, 60e3, "60");
    row("60 KOhm under", 6, 0x32, "  -OL  ", -1, -60e3, "60");
    row("DCV over", 2, 0x31, "  O.L  ", 1, 60.0, "60");
    row("DCV under", 2, 0x31, " -0.L  ", 0, 0.0, "60");
    row("Celsius low under", 10, 0x30, "  -OL  ", -1, -40.0, "300");
    row("Celsius low over", 10, 0x30, "   OL  ", 1, 300.0, "300");
    row("Celsius high under", 10, 0x31, "- OL   ", -1, 300.0, "1000");
    row("Fahrenheit high over", 11, 0x31, "   OL  ", 1, 1832.0, "1832");
    row("Fahrenheit low under", 11, 0x30, "  -OL  ", -1, -40.0, "572");
    row("capacitance over", 9, 0x30, "   OL  ", 1, 60e-9, "60");
    row("duty cycle over", 5, 0x30, "   OL  ", 1, 999.0, "-");
}

void TestDecode::overload()
{
    QFETCH(int, function);
    QFETCH(int, range);
    QFETCH(QByteArray, display);
    const Reading reading = decode(replyFrame(quint8(function), quint8(range), display));
    QVERIFY(reading);
    QTEST(reading->overload(), "overload");
    QTEST(reading->value(), "value");
    QTEST(reading->rangeText(), "rangeText");
    QCOMPARE(reading->valueText(), QString::fromLatin1(display));
}

void TestDecode::shortOrUnknownFramesGiveNothing_data()
{
    const QByteArray whole = replyFrame(2, 0x31);
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<bool>("eTable");
    QTest::newRow("length 3") << frame::build(QByteArray(1, 2)) << false;
    QTest::newRow("length 15, one status byte missing") << frame::build(whole.mid(3, 13)) << false;
    QTest::newRow("cut short of its length byte") << whole.left(whole.size() - 1) << false;
    QTest::newRow("header only") << whole.left(3) << false;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("unknown function") << replyFrame(26, 0x30) << true;
    QTest::newRow("diode has one range") << replyFrame(8, 0x31) << false;
    QTest::newRow("range below 30") << replyFrame(2, 0x2F) << false;
    QTest::newRow("FREQ ends earlier in defaultTable") << replyFrame(4, 0x36) << false;
    QTest::newRow("range code in the function byte") << replyFrame(0x30, 2) << false;
    QTest::newRow("acknowledgement code") << replyFrame(0xFF, 0x30) << true;
    QTest::newRow("LPF with defaultTable") << replyFrame(24, 0x30) << false;
    QTest::newRow("AC+DC with defaultTable") << replyFrame(25, 0x30) << false;
}

void TestDecode::shortOrUnknownFramesGiveNothing()
{
    QFETCH(QByteArray, frame);
    QFETCH(bool, eTable);
    QVERIFY(!decode(frame, eTable));
}

void TestDecode::statusBits_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("meter");
    QTest::addColumn<int>("extra");
    QTest::addColumn<QString>("expected"); // maxMin|peak|hold rel|bit3 manual lowBat bit0
    QTest::newRow("none") << 0 << 0 << 0 << "||00|0000";
    QTest::newRow("MAX wins over MIN") << 0x0C << 0 << 0 << "MAX||00|0000";
    QTest::newRow("MIN") << 0x04 << 0 << 0 << "MIN||00|0000";
    QTest::newRow("hold") << 0x02 << 0 << 0 << "||10|0000";
    QTest::newRow("relative") << 0x01 << 0 << 0 << "||01|0000";
    QTest::newRow("high bits ignored") << 0xF0 << 0xF0 << 0xF1 << "||00|0000";
    QTest::newRow("second byte each bit") << 0 << 0x0F << 0 << "||00|1111";
    QTest::newRow("manual range") << 0 << 0x04 << 0 << "||00|0100";
    QTest::newRow("low battery") << 0 << 0x02 << 0 << "||00|0010";
    QTest::newRow("bit 0") << 0 << 0x01 << 0 << "||00|0001";
    QTest::newRow("P-MAX wins over P-MIN") << 0 << 0 << 0x06 << "|P-MAX|00|0000";
    QTest::newRow("P-MIN") << 0 << 0 << 0x02 << "|P-MIN|00|0000";
    QTest::newRow("coupling bit off AC+DC") << 0 << 0 << 0x08 << "||00|0000";
}

void TestDecode::statusBits()
{
    QFETCH(int, mode);
    QFETCH(int, meter);
    QFETCH(int, extra);
    const Reading reading =
        decode(replyFrame(0, 0x30, "  1.000", quint8(mode), quint8(meter), quint8(extra)));
    QVERIFY(reading);
    const auto flag = [](bool on) { return on ? QLatin1Char('1') : QLatin1Char('0'); };
    const QString got = reading->maxMinText() + '|' + reading->peakText() + '|' +
                        flag(reading->hold()) + flag(reading->relative()) + '|' +
                        flag(reading->statusBit3()) + flag(reading->manualRange()) +
                        flag(reading->lowBattery()) + flag(reading->statusBit0());
    QTEST(got, "expected");
    QVERIFY(reading->couplingText().isEmpty());
}

void TestDecode::acPlusDcShowsCoupling()
{
    const Reading dc = decode(replyFrame(25, 0x31, "  1.000", 0, 0, 0x06), true);
    const Reading ac = decode(replyFrame(25, 0x31, "  1.000", 0, 0, 0x08), true);
    const Reading lpf = decode(replyFrame(24, 0x31, "  1.000", 0, 0, 0x08), true);
    QVERIFY(dc && ac && lpf);
    QCOMPARE(dc->couplingText() + '|' + dc->functionName() + '|' + dc->peakText(),
             QStringLiteral("DC|AC+DC: DC|P-MAX"));
    QCOMPARE(ac->couplingText() + '|' + ac->functionName(), QStringLiteral("AC|AC+DC: AC"));
    QCOMPARE(lpf->couplingText() + '|' + lpf->functionName(), QStringLiteral("|LPF"));
}

void TestDecode::timestampIsNow()
{
    const QDateTime before = QDateTime::currentDateTime();
    const Reading reading = decode(replyFrame(2, 0x30));
    const QDateTime after = QDateTime::currentDateTime();
    QVERIFY(reading);
    QCOMPARE(reading->timestamp().timeSpec(), Qt::LocalTime);
    QVERIFY(reading->timestamp() >= before && reading->timestamp() <= after);
    QVERIFY(!reading->parent());
}

QTEST_GUILESS_MAIN(TestDecode)
#include "tst_decode.moc"
