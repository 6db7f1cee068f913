#include "meter/dmmdata.h"
#include "meter/functionentry.h"
#include "meter/mydmm.h"
#include "replyframe.h"

#include <QtTest>
#include <memory>

namespace {

struct ExpectedRow
{
    int function;
    int range;
    const char *texts; // "functionName|rangeText|unitText|factor applied to the display"
};

// What a reply for every row of the tables reads as, written out by hand.
// clang-format off
const ExpectedRow kDefaultReadings[] = {
    {0, 0x30, "ACV|6|V|1"},
    {0, 0x31, "ACV|60|V|1"},
    {0, 0x32, "ACV|600|V|1"},
    {0, 0x33, "ACV|1000|V|1"},
    {1, 0x30, "ACmV|60|mV|1"},
    {1, 0x31, "ACmV|600|mV|1"},
    {2, 0x30, "DCV|6|V|1"},
    {2, 0x31, "DCV|60|V|1"},
    {2, 0x32, "DCV|600|V|1"},
    {2, 0x33, "DCV|1000|V|1"},
    {3, 0x30, "DCmV|60|mV|1"},
    {3, 0x31, "DCmV|600|mV|1"},
    {4, 0x30, "FREQ|99|Hz|1"},
    {4, 0x31, "FREQ|999|Hz|1"},
    {4, 0x32, "FREQ|9|KHz|1e3"},
    {4, 0x33, "FREQ|99|KHz|1e3"},
    {4, 0x34, "FREQ|999|KHz|1e3"},
    {4, 0x35, "FREQ|9|MHz|1e6"},
    {5, 0x30, "Duty Cycle|-|%|1"},
    {6, 0x30, "RES|600|Ω|1"},
    {6, 0x31, "RES|6|KΩ|1e3"},
    {6, 0x32, "RES|60|KΩ|1e3"},
    {6, 0x33, "RES|600|KΩ|1e3"},
    {6, 0x34, "RES|6|MΩ|1e6"},
    {6, 0x35, "RES|60|MΩ|1e6"},
    {7, 0x30, "Short-Circuit|600|Ω|1"},
    {8, 0x30, "Diode|6|V|1"},
    {9, 0x30, "CAP|60|nF|1e-9"},
    {9, 0x31, "CAP|600|nF|1e-9"},
    {9, 0x32, "CAP|6|uF|1e-6"},
    {9, 0x33, "CAP|60|uF|1e-6"},
    {9, 0x34, "CAP|600|uF|1e-6"},
    {9, 0x35, "CAP|6|mF|1e-3"},
    {9, 0x36, "CAP|60|mF|1e-3"},
    {10, 0x30, "Temperature|300|℃|1"},
    {10, 0x31, "Temperature|1000|℃|1"},
    {11, 0x30, "Temperature|572|℉|1"},
    {11, 0x31, "Temperature|1832|℉|1"},
    {12, 0x30, "DCuA|600|uA|1"},
    {12, 0x31, "DCuA|6000|uA|1"},
    {13, 0x30, "ACuA|600|uA|1"},
    {13, 0x31, "ACuA|6000|uA|1"},
    {14, 0x30, "DCmA|60|mA|1"},
    {14, 0x31, "DCmA|600|mA|1"},
    {15, 0x30, "ACmA|60|mA|1"},
    {15, 0x31, "ACmA|600|mA|1"},
    {16, 0x30, "DCA|6|A|1"},
    {16, 0x31, "DCA|10|A|1"},
    {17, 0x30, "ACA|6|A|1"},
    {17, 0x31, "ACA|10|A|1"},
    {18, 0x30, "hFE|-||1"},
    {19, 0x30, "Live|-||1"},
    {20, 0x30, "NCV|-||1"},
    {20, 0x31, "NCV|-||1"},
    {21, 0x30, "LozV|600|V|1"},
    {21, 0x31, "LozV|1000|V|1"},
    {22, 0x30, "FREQ|99|Hz|1"},
    {22, 0x31, "FREQ|999|Hz|1"},
    {22, 0x32, "FREQ|9|KHz|1e3"},
    {22, 0x33, "FREQ|99|KHz|1e3"},
    {22, 0x34, "FREQ|999|KHz|1e3"},
    {22, 0x35, "FREQ|9|MHz|1e6"},
    {23, 0x30, "Duty Cycle|-|%|1"},
};

const ExpectedRow kEReadings[] = {
    {0, 0x30, "ACV|2|V|1"},
    {0, 0x31, "ACV|22|V|1"},
    {0, 0x32, "ACV|220|V|1"},
    {0, 0x33, "ACV|1000|V|1"},
    {1, 0x30, "ACmV|220|mV|1"},
    {2, 0x30, "DCV|2|V|1"},
    {2, 0x31, "DCV|22|V|1"},
    {2, 0x32, "DCV|220|V|1"},
    {2, 0x33, "DCV|1000|V|1"},
    {3, 0x30, "DCmV|220|mV|1"},
    {4, 0x30, "FREQ|22|Hz|1"},
    {4, 0x31, "FREQ|220|Hz|1"},
    {4, 0x32, "FREQ|2|KHz|1e3"},
    {4, 0x33, "FREQ|22|KHz|1e3"},
    {4, 0x34, "FREQ|220|KHz|1e3"},
    {4, 0x35, "FREQ|2|MHz|1e6"},
    {4, 0x36, "FREQ|22|MHz|1e6"},
    {4, 0x37, "FREQ|220|MHz|1e6"},
    {5, 0x30, "Duty Cycle|-|%|1"},
    {6, 0x30, "RES|220|Ω|1"},
    {6, 0x31, "RES|2|KΩ|1e3"},
    {6, 0x32, "RES|22|KΩ|1e3"},
    {6, 0x33, "RES|220|KΩ|1e3"},
    {6, 0x34, "RES|2|MΩ|1e6"},
    {6, 0x35, "RES|22|MΩ|1e6"},
    {6, 0x36, "RES|220|MΩ|1e6"},
    {7, 0x30, "Short-Circuit|200|Ω|1"},
    {8, 0x30, "Diode|2|V|1"},
    {9, 0x30, "CAP|22|nF|1e-9"},
    {9, 0x31, "CAP|220|nF|1e-9"},
    {9, 0x32, "CAP|2|uF|1e-6"},
    {9, 0x33, "CAP|22|uF|1e-6"},
    {9, 0x34, "CAP|220|uF|1e-6"},
    {9, 0x35, "CAP|2|mF|1e-3"},
    {9, 0x36, "CAP|22|mF|1e-3"},
    {9, 0x37, "CAP|220|mF|1e-3"},
    {10, 0x30, "Celsius|300|℃|1"},
    {10, 0x31, "Celsius|1000|℃|1"},
    {11, 0x30, "Celsius|572|℉|1"},
    {11, 0x31, "Celsius|1832|℉|1"},
    {12, 0x30, "DCuA|220|uA|1"},
    {12, 0x31, "DCuA|2200|uA|1"},
    {13, 0x30, "ACuA|220|uA|1"},
    {13, 0x31, "ACuA|2200|uA|1"},
    {14, 0x30, "DCmA|22|mA|1"},
    {14, 0x31, "DCmA|220|mA|1"},
    {15, 0x30, "ACmA|22|mA|1"},
    {15, 0x31, "ACmA|220|mA|1"},
    {16, 0x30, "DCA|2|A|1"},
    {16, 0x31, "DCA|22|A|1"},
    {17, 0x30, "ACA|2|A|1"},
    {17, 0x31, "ACA|22|A|1"},
    {18, 0x30, "hFE|-||1"},
    {19, 0x30, "Live|-||1"},
    {20, 0x30, "NCV|-||1"},
    {20, 0x31, "NCV|-||1"},
    {21, 0x30, "LozV|600|V|1"},
    {21, 0x31, "LozV|1000|V|1"},
    {22, 0x30, "FREQ|99|Hz|1"},
    {22, 0x31, "FREQ|999|Hz|1"},
    {22, 0x32, "FREQ|9|KHz|1e3"},
    {22, 0x33, "FREQ|99|KHz|1e3"},
    {22, 0x34, "FREQ|999|KHz|1e3"},
    {22, 0x35, "FREQ|9|MHz|1e6"},
    {23, 0x30, "Duty Cycle|-|%|1"},
    {24, 0x30, "LPF|2|V|1"},
    {24, 0x31, "LPF|22|V|1"},
    {24, 0x32, "LPF|220|V|1"},
    {24, 0x33, "LPF|1000|V|1"},
    {25, 0x30, "AC+DC: DC|2|V|1"},
    {25, 0x31, "AC+DC: DC|22|V|1"},
    {25, 0x32, "AC+DC: DC|220|V|1"},
    {25, 0x33, "AC+DC: DC|1000|V|1"},
};
// clang-format on

using Reading = std::unique_ptr<DmmData>;

} // namespace

class TestDecode : public QObject
{
    Q_OBJECT
private slots:
    void classifyDisplay_data();
    void classifyDisplay();
    void displayValue_data();
    void displayValue();
    void everyRowDecodes_data();
    void everyRowDecodes();
    void dcVoltsExample();
    void scaledResistanceKeepsDisplayText();
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
    const Reading reading = decode(replyFrame(2, 0x31, display));
    QVERIFY(reading);
    QCOMPARE(reading->value(), value);
    QCOMPARE(reading->overload(), 0);
    QCOMPARE(reading->valueText(), QString::fromLatin1(display.leftJustified(7, ' ', true), 7));
}

void TestDecode::everyRowDecodes_data()
{
    QTest::addColumn<bool>("eTable");
    QTest::addColumn<int>("function");
    QTest::addColumn<int>("range");
    QTest::addColumn<QString>("texts");
    for (const ExpectedRow &row : kDefaultReadings) {
        QTest::addRow("default %d/%x", row.function, row.range)
            << false << row.function << row.range << QString::fromUtf8(row.texts);
    }
    for (const ExpectedRow &row : kEReadings) {
        QTest::addRow("e %d/%x", row.function, row.range)
            << true << row.function << row.range << QString::fromUtf8(row.texts);
    }
}

void TestDecode::everyRowDecodes()
{
    QFETCH(bool, eTable);
    QFETCH(int, function);
    QFETCH(int, range);
    QFETCH(QString, texts);
    const QStringList expected = texts.split(QLatin1Char('|'));
    const Reading reading = decode(replyFrame(quint8(function), quint8(range), "  1.234"), eTable);
    QVERIFY(reading);
    QCOMPARE(reading->functionName(), expected.at(0));
    QCOMPARE(reading->rangeText(), expected.at(1));
    QCOMPARE(reading->unitText(), expected.at(2));
    QCOMPARE(reading->value(), 1.234 * expected.at(3).toDouble());
    QCOMPARE(int(reading->entry()->functionCode()), function);
    QCOMPARE(int(reading->entry()->rangeCode()), range);
    QCOMPARE(reading->couplingText().isEmpty(), function != 25);
}

void TestDecode::dcVoltsExample()
{
    const Reading reading = decode(replyFrame(2, 0x31, "-12.345"));
    QVERIFY(reading);
    QCOMPARE(reading->value(), -12.345);
    QCOMPARE(reading->overload(), 0);
    QCOMPARE(reading->unitText(), QStringLiteral("V"));
    QCOMPARE(reading->rangeText(), QStringLiteral("60"));
    QCOMPARE(reading->functionName(), QStringLiteral("DCV"));
    QCOMPARE(reading->entry(), findEntry(m_dmm.defaultTable(), 2, 0x31));
}

void TestDecode::scaledResistanceKeepsDisplayText()
{
    const Reading reading = decode(replyFrame(6, 0x32, " 12.34 "));
    QVERIFY(reading);
    QCOMPARE(reading->value(), 12.34 * 1000);
    QCOMPARE(reading->unitText(), QStringLiteral("K") + QChar(0x03A9));
    QCOMPARE(reading->valueText(), QStringLiteral(" 12.34 "));
}

void TestDecode::overload_data()
{
    QTest::addColumn<int>("function");
    QTest::addColumn<int>("range");
    QTest::addColumn<QByteArray>("display");
    QTest::addColumn<int>("overload");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("rangeText");
    QTest::newRow("60 KOhm over") << 6 << 0x32 << QByteArray("   OL  ") << 1 << 60e3 << "60";
    QTest::newRow("60 KOhm under") << 6 << 0x32 << QByteArray("  -OL  ") << -1 << -60e3 << "60";
    QTest::newRow("DCV over") << 2 << 0x31 << QByteArray("  O.L  ") << 1 << 60.0 << "60";
    QTest::newRow("DCV under") << 2 << 0x31 << QByteArray(" -0.L  ") << 0 << 0.0 << "60";
    QTest::newRow("Celsius low under")
        << 10 << 0x30 << QByteArray("  -OL  ") << -1 << -40.0 << "300";
    QTest::newRow("Celsius low over") << 10 << 0x30 << QByteArray("   OL  ") << 1 << 300.0 << "300";
    QTest::newRow("Celsius high under")
        << 10 << 0x31 << QByteArray("- OL   ") << -1 << 300.0 << "1000";
    QTest::newRow("Fahrenheit high over")
        << 11 << 0x31 << QByteArray("   OL  ") << 1 << 1832.0 << "1832";
    QTest::newRow("Fahrenheit low under")
        << 11 << 0x30 << QByteArray("  -OL  ") << -1 << -40.0 << "572";
    QTest::newRow("capacitance over") << 9 << 0x30 << QByteArray("   OL  ") << 1 << 60e-9 << "60";
    QTest::newRow("duty cycle over") << 5 << 0x30 << QByteArray("   OL  ") << 1 << 999.0 << "-";
}

void TestDecode::overload()
{
    QFETCH(int, function);
    QFETCH(int, range);
    QFETCH(QByteArray, display);
    QFETCH(int, overload);
    QFETCH(double, value);
    QFETCH(QString, rangeText);
    const Reading reading = decode(replyFrame(quint8(function), quint8(range), display));
    QVERIFY(reading);
    QCOMPARE(reading->overload(), overload);
    QCOMPARE(reading->value(), value);
    QCOMPARE(reading->rangeText(), rangeText);
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
    QTest::newRow("unknown range") << replyFrame(8, 0x31) << false;
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
    QFETCH(QString, expected);
    const Reading reading =
        decode(replyFrame(0, 0x30, "  1.000", quint8(mode), quint8(meter), quint8(extra)));
    QVERIFY(reading);
    const auto flag = [](bool on) { return on ? QLatin1Char('1') : QLatin1Char('0'); };
    const QString got = reading->maxMinText() + '|' + reading->peakText() + '|' +
                        flag(reading->hold()) + flag(reading->relative()) + '|' +
                        flag(reading->statusBit3()) + flag(reading->manualRange()) +
                        flag(reading->lowBattery()) + flag(reading->statusBit0());
    QCOMPARE(got, expected);
    QVERIFY(reading->couplingText().isEmpty());
}

void TestDecode::acPlusDcShowsCoupling()
{
    const Reading dc = decode(replyFrame(25, 0x31, "  1.000", 0, 0, 0x06), true);
    QVERIFY(dc);
    QCOMPARE(dc->couplingText(), QStringLiteral("DC"));
    QCOMPARE(dc->functionName(), QStringLiteral("AC+DC: DC"));
    QCOMPARE(dc->peakText(), QStringLiteral("P-MAX"));

    const Reading ac = decode(replyFrame(25, 0x31, "  1.000", 0, 0, 0x08), true);
    QVERIFY(ac);
    QCOMPARE(ac->couplingText(), QStringLiteral("AC"));
    QCOMPARE(ac->functionName(), QStringLiteral("AC+DC: AC"));

    const Reading lpf = decode(replyFrame(24, 0x31, "  1.000", 0, 0, 0x08), true);
    QVERIFY(lpf);
    QVERIFY(lpf->couplingText().isEmpty());
    QCOMPARE(lpf->functionName(), QStringLiteral("LPF"));
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
