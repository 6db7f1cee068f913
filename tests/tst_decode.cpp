#include "meter/dmmdata.h"
#include "meter/mydmm.h"
#include "replyframe.h"

#include <QtTest>
#include <memory>

// The two function tables and the decoding of reply frames into readings.
class TestDecode : public QObject
{
    Q_OBJECT
    // Any "e" in the model name, in either case, chooses the E table.
    std::unique_ptr<DmmData> decode(const QByteArray &frame, const char *model = "VX52C+")
    {
        m_dmm.setModel(QString::fromLatin1(model));
        return std::unique_ptr<DmmData>(m_dmm.decode(frame));
    }
    MyDmm m_dmm{nullptr};

private slots:
    // "name|range text|unit text|value" of a display of 1.234, worked out from the meter's
    // manual: the self-scaling functions give their value in the unit without prefix.
    void tableRowsDecode()
    {
        const std::tuple<const char *, int, int, const char *> rows[] = {
            {"VX310A", 2, 0x31, "DCV|60|V|1.234"},
            {"VX310A", 6, 0x32, "RES|60|KΩ|1234"},
            {"VX310A", 9, 0x30, "CAP|60|nF|1.234e-09"},
            {"VX310A", 10, 0x31, "Temperature|1000|℃|1.234"},
            {"VX310E", 0, 0x30, "ACV|2|V|1.234"},
            {"VX310E", 4, 0x37, "FREQ|220|MHz|1.234e+06"},
            {"VX310E", 10, 0x30, "Celsius|300|℃|1.234"},
            {"VX310E", 25, 0x30, "AC+DC: DC|2|V|1.234"}, // without the coupling bit: its DC part
        };
        for (const auto &[model, function, range, expected] : rows) {
            const auto r = decode(replyFrame(quint8(function), quint8(range)), model);
            QVERIFY2(r, expected);
            QCOMPARE(QStringList({r->functionName(), r->rangeText(), r->unitText(),
                                  QString::number(r->value())})
                         .join('|'),
                     QString::fromUtf8(expected));
        }
        QCOMPARE(m_dmm.defaultTable().size(), 63);
        QCOMPARE(m_dmm.eTable().size(), 73);
    }

    // "value text|overload|value" of a display text in a function and range.
    void displayReadsAs()
    {
        const std::tuple<const char *, int, int, const char *> rows[] = {
            {"-12.345", 2, 0x31, "0|-12.345"}, {" 12.34 ", 6, 0x32, "0|12340"}, // 60 KΩ: in ohms
            {"- 1 2.5", 2, 0x31, "0|-12.5"},   {"+  9.90", 2, 0x31, "0|9.9"},
            {"   .500", 2, 0x31, "0|0.5"},     {" ----  ", 2, 0x31, "0|0"},
            {"   ol  ", 2, 0x31, "0|0"},       {"   OL  ", 6, 0x32, "1|60000"},
            {"  -OL  ", 6, 0x32, "-1|-60000"}, {"O 0.L  ", 2, 0x31, "1|60"},
            {"L--O   ", 2, 0x31, "-1|-60"},    {"   OL  ", 9, 0x30, "1|6e-08"},
            {"  -OL  ", 10, 0x30, "-1|-40"}, // temperatures: the row's lower and upper limits
            {"   OL  ", 10, 0x30, "1|300"},    {"- OL   ", 10, 0x31, "-1|300"},
            {"   OL  ", 11, 0x31, "1|1832"},
        };
        for (const auto &[display, function, range, expected] : rows) {
            const auto reading = decode(replyFrame(quint8(function), quint8(range), display));
            QVERIFY2(reading, display);
            QCOMPARE(QStringLiteral("%1|%2|%3")
                         .arg(reading->valueText())
                         .arg(reading->overload())
                         .arg(reading->value()),
                     QString::fromLatin1(display) + '|' + expected);
        }
    }

    void shortOrUnknownFramesGiveNothing()
    {
        const QByteArray whole = replyFrame(2, 0x31);
        QVERIFY(!decode(frame::build(whole.mid(3, 13)))); // one status byte missing
        QVERIFY(!decode(whole.left(whole.size() - 1)));   // shorter than its length byte says
        QVERIFY(!decode(replyFrame(26, 0x30), "VX310E"));
        QVERIFY(!decode(replyFrame(8, 0x31)));  // the diode has one range
        QVERIFY(!decode(replyFrame(25, 0x30))); // AC+DC is only in the E table
    }

    // "maxMin|peak|hold rel|bit3 manual lowBattery bit0|coupling|name" from the status bytes.
    void statusBits()
    {
        const std::tuple<int, int, int, int, const char *> rows[] = {
            {0, 0, 0, 0, "||00|0000||ACV"},
            {0, 0x02, 0x08, 0x04, "|P-MAX|10|1000||ACV"},
            {0, 0x0C, 0x02, 0x06, "MAX|P-MAX|00|0010||ACV"}, // MAX and P-MAX win
            {0, 0xF0, 0xF0, 0xF9, "||00|0000||ACV"}, // high bits and the coupling bit ignored
            {25, 0, 0, 0x08, "||00|0000|AC|AC+DC: AC"},
            {24, 0, 0, 0x08, "||00|0000||LPF"},
        };
        const auto flag = [](bool on) { return on ? QLatin1Char('1') : QLatin1Char('0'); };
        for (const auto &[function, mode, meter, extra, expected] : rows) {
            const auto r = decode(replyFrame(function, 0x30, "  1.000", mode, meter, extra),
                                  function >= 24 ? "vx310e" : "VX310A");
            QVERIFY(r);
            QCOMPARE(r->maxMinText() + '|' + r->peakText() + '|' + flag(r->hold()) +
                         flag(r->relative()) + '|' + flag(r->statusBit3()) +
                         flag(r->manualRange()) + flag(r->lowBattery()) + flag(r->statusBit0()) +
                         '|' + r->couplingText() + '|' + r->functionName(),
                     QString::fromLatin1(expected));
        }
    }

    // A copy holds every field: the binding below stops compiling when a field is added, and a
    // field the copy leaves behind keeps its default, which differs from the source's here.
    void aCopyHoldsEveryField()
    {
        const auto source = decode(replyFrame(25, 0x31, " -OL   ", 0x0B, 0x0F, 0x0C), "VX310E");
        QVERIFY(source);
        DmmData copy;
        copy.copyFrom(*source);
        const auto &[time, value, valueText, overload, unit, range, name, entry, maxMin, hold,
                     relative, bit3, manual, battery, bit0, peak, coupling] = copy.fields();
        const DmmData::Fields &s = source->fields();
        QVERIFY(std::tie(time, value, valueText, overload, unit, range, name, entry, maxMin, hold,
                         relative, bit3, manual, battery, bit0, peak, coupling) ==
                std::tie(s.timestamp, s.value, s.valueText, s.overload, s.unitText, s.rangeText,
                         s.functionName, s.entry, s.maxMinText, s.hold, s.relative, s.statusBit3,
                         s.manualRange, s.lowBattery, s.statusBit0, s.peakText, s.couplingText));
    }
};

QTEST_GUILESS_MAIN(TestDecode)
#include "tst_decode.moc"
