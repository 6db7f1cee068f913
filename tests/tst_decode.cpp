#include "meter/dmmdata.h"
#include "meter/functionentry.h"
#include "meter/mydmm.h"
#include "replyframe.h"

#include <QtTest>
#include <memory>

namespace {

// Both tables written out by hand, one function a line: "code|name|E name|ranges|E ranges", a
// range being full scale, prefix and unit ("lower..upper" and unit for temperatures).
// clang-format off
const char *const kFunctions[] = {
    "0|ACV|ACV|6V 60V 600V 1000V|2V 22V 220V 1000V", "1|ACmV|ACmV|60mV 600mV|220mV",
    "2|DCV|DCV|6V 60V 600V 1000V|2V 22V 220V 1000V", "3|DCmV|DCmV|60mV 600mV|220mV",
    "4|FREQ|FREQ|99Hz 999Hz 9KHz 99KHz 999KHz 9MHz|22Hz 220Hz 2KHz 22KHz 220KHz 2MHz 22MHz 220MHz",
    "5|Duty Cycle|Duty Cycle|999%|999%",
    "6|RES|RES|600Ω 6KΩ 60KΩ 600KΩ 6MΩ 60MΩ|220Ω 2KΩ 22KΩ 220KΩ 2MΩ 22MΩ 220MΩ",
    "7|Short-Circuit|Short-Circuit|600Ω|200Ω", "8|Diode|Diode|6V|2V",
    "9|CAP|CAP|60nF 600nF 6uF 60uF 600uF 6mF 60mF|22nF 220nF 2uF 22uF 220uF 2mF 22mF 220mF",
    "10|Temperature|Celsius|-40..300℃ 300..1000℃|-40..300℃ 300..1000℃",
    "11|Temperature|Celsius|-40..572℉ 572..1832℉|-40..572℉ 572..1832℉",
    "12|DCuA|DCuA|600uA 6000uA|220uA 2200uA", "13|ACuA|ACuA|600uA 6000uA|220uA 2200uA",
    "14|DCmA|DCmA|60mA 600mA|22mA 220mA", "15|ACmA|ACmA|60mA 600mA|22mA 220mA",
    "16|DCA|DCA|6A 10A|2A 22A", "17|ACA|ACA|6A 10A|2A 22A", "18|hFE|hFE|6000|6000",
    "19|Live|Live|6000|6000", "20|NCV|NCV|6000 6000|6000 6000", "21|LozV|LozV|600V 1000V|600V 1000V",
    "22|FREQ|FREQ|99Hz 999Hz 9KHz 99KHz 999KHz 9MHz|99Hz 999Hz 9KHz 99KHz 999KHz 9MHz",
    "23|Duty Cycle|Duty Cycle|999%|999%", "24||LPF||2V 22V 220V 1000V",
    "25||AC+DC||2V 22V 220V 1000V"};
// clang-format on
const QSet<int> kScaled = {4, 6, 7, 9, 18, 19, 20, 22};
const QSet<int> kNoRangeFigure = {5, 18, 19, 20, 23};
const QHash<QChar, double> kPrefixFactors = {
    {'K', 1e3}, {'M', 1e6}, {'m', 1e-3}, {'u', 1e-6}, {'n', 1e-9}};

} // namespace

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
    // Each row's reading, "name|range text|unit text|full scale|upper|value" of a display of
    // 1.234, against the list above.
    void everyRowDecodes()
    {
        const QRegularExpression item(QStringLiteral("^(-?\\d+)(?:\\.\\.(\\d+))?(.*)$"));
        for (const bool eTable : {false, true}) {
            const FunctionTable &table = eTable ? m_dmm.eTable() : m_dmm.defaultTable();
            int index = 0;
            for (const char *line : kFunctions) {
                const QStringList fields = QString::fromUtf8(line).split('|');
                const int code = fields[0].toInt();
                const QStringList ranges = fields[eTable ? 4 : 3].split(' ', Qt::SkipEmptyParts);
                for (int range = 0; range < ranges.size(); ++range) {
                    const auto reading =
                        decode(replyFrame(code, 0x30 + range), eTable ? "VX310E" : "VX52C+");
                    QVERIFY2(reading && reading->entry() == table.value(index++), line);
                    const QRegularExpressionMatch m = item.match(ranges[range]);
                    const QString unit = m.captured(3);
                    const double factor = kScaled.contains(code) && unit.size() > 1
                                              ? kPrefixFactors.value(unit[0], 1.0)
                                              : 1.0;
                    const QString rangeText = kNoRangeFigure.contains(code) ? "-"
                                              : m.captured(2).isEmpty()     ? m.captured(1)
                                                                            : m.captured(2);
                    // An AC+DC reply without the coupling bit is its DC part.
                    const QString name = fields[eTable ? 2 : 1] + (code == 25 ? ": DC" : "");
                    const FunctionEntry *entry = reading->entry();
                    QCOMPARE(
                        QStringList({reading->functionName(), reading->rangeText(),
                                     reading->unitText(), QString::number(entry->fullScale()),
                                     entry->upper().toString(), QString::number(reading->value())})
                            .join('|'),
                        QStringList({name, rangeText, unit, m.captured(1),
                                     m.captured(2).isEmpty() ? "0" : m.captured(2),
                                     QString::number(1.234 * factor)})
                            .join('|'));
                }
            }
            QCOMPARE(table.size(), index);
        }
    }

    // "value text|overload|value" of a display text in a function and range.
    void displayReadsAs()
    {
        const std::tuple<const char *, int, int, const char *> rows[] = {
            {"-12.345", 2, 0x31, "0|-12.345"}, {" 12.34 ", 6, 0x32, "0|12340"}, // 60 KΩ: in ohms
            {"- 1 2.5", 2, 0x31, "0|-12.5"},   {"+  9.90", 2, 0x31, "0|9.9"},
            {"   .500", 2, 0x31, "0|0.5"},     {" ----  ", 2, 0x31, "0|0"},
            {"  1,234", 2, 0x31, "0|0"},       {"  1.2E3", 2, 0x31, "0|0"},
            {" 1.2.34", 2, 0x31, "0|0"},       {"  12-34", 2, 0x31, "0|0"},
            {"   -   ", 2, 0x31, "0|0"},       {"  0.O  ", 2, 0x31, "0|0"},
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
        QVERIFY(!decode(whole.left(3)));
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
            {0, 0x01, 0x04, 0x02, "|P-MIN|01|0100||ACV"},
            {0, 0x0C, 0x02, 0x06, "MAX|P-MAX|00|0010||ACV"}, // MAX and P-MAX win
            {0, 0x04, 0x01, 0, "MIN||00|0001||ACV"},
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

    void timestampIsNowInLocalTime()
    {
        const QDateTime before = QDateTime::currentDateTime();
        const auto reading = decode(replyFrame(2, 0x30));
        QVERIFY(reading && !reading->parent());
        QCOMPARE(reading->timestamp().timeSpec(), Qt::LocalTime);
        QVERIFY(reading->timestamp() >= before);
        QVERIFY(reading->timestamp() <= QDateTime::currentDateTime());
    }
};

QTEST_GUILESS_MAIN(TestDecode)
#include "tst_decode.moc"
