#include "meter/functionentry.h"

#include <QtTest>

// Every row, written out by hand as "function/range index|fullScale|name|prefix|unit|upper".
// clang-format off
const QStringList kDefaultRows = {
    "0/0|6|ACV||V|0",
    "0/1|60|ACV||V|0",
    "0/2|600|ACV||V|0",
    "0/3|1000|ACV||V|0",
    "1/0|60|ACmV|m|V|0",
    "1/1|600|ACmV|m|V|0",
    "2/0|6|DCV||V|0",
    "2/1|60|DCV||V|0",
    "2/2|600|DCV||V|0",
    "2/3|1000|DCV||V|0",
    "3/0|60|DCmV|m|V|0",
    "3/1|600|DCmV|m|V|0",
    "4/0|99|FREQ||Hz|0",
    "4/1|999|FREQ||Hz|0",
    "4/2|9|FREQ|K|Hz|0",
    "4/3|99|FREQ|K|Hz|0",
    "4/4|999|FREQ|K|Hz|0",
    "4/5|9|FREQ|M|Hz|0",
    "5/0|999|Duty Cycle||%|0",
    "6/0|600|RES||Ω|0",
    "6/1|6|RES|K|Ω|0",
    "6/2|60|RES|K|Ω|0",
    "6/3|600|RES|K|Ω|0",
    "6/4|6|RES|M|Ω|0",
    "6/5|60|RES|M|Ω|0",
    "7/0|600|Short-Circuit||Ω|0",
    "8/0|6|Diode||V|0",
    "9/0|60|CAP|n|F|0",
    "9/1|600|CAP|n|F|0",
    "9/2|6|CAP|u|F|0",
    "9/3|60|CAP|u|F|0",
    "9/4|600|CAP|u|F|0",
    "9/5|6|CAP|m|F|0",
    "9/6|60|CAP|m|F|0",
    "10/0|-40|Temperature||℃|300",
    "10/1|300|Temperature||℃|1000",
    "11/0|-40|Temperature||℉|572",
    "11/1|572|Temperature||℉|1832",
    "12/0|600|DCuA|u|A|0",
    "12/1|6000|DCuA|u|A|0",
    "13/0|600|ACuA|u|A|0",
    "13/1|6000|ACuA|u|A|0",
    "14/0|60|DCmA|m|A|0",
    "14/1|600|DCmA|m|A|0",
    "15/0|60|ACmA|m|A|0",
    "15/1|600|ACmA|m|A|0",
    "16/0|6|DCA||A|0",
    "16/1|10|DCA||A|0",
    "17/0|6|ACA||A|0",
    "17/1|10|ACA||A|0",
    "18/0|6000|hFE|||0",
    "19/0|6000|Live|||0",
    "20/0|6000|NCV|||0",
    "20/1|6000|NCV|||0",
    "21/0|600|LozV||V|0",
    "21/1|1000|LozV||V|0",
    "22/0|99|FREQ||Hz|0",
    "22/1|999|FREQ||Hz|0",
    "22/2|9|FREQ|K|Hz|0",
    "22/3|99|FREQ|K|Hz|0",
    "22/4|999|FREQ|K|Hz|0",
    "22/5|9|FREQ|M|Hz|0",
    "23/0|999|Duty Cycle||%|0",
};

const QStringList kERows = {
    "0/0|2|ACV||V|0",
    "0/1|22|ACV||V|0",
    "0/2|220|ACV||V|0",
    "0/3|1000|ACV||V|0",
    "1/0|220|ACmV|m|V|0",
    "2/0|2|DCV||V|0",
    "2/1|22|DCV||V|0",
    "2/2|220|DCV||V|0",
    "2/3|1000|DCV||V|0",
    "3/0|220|DCmV|m|V|0",
    "4/0|22|FREQ||Hz|0",
    "4/1|220|FREQ||Hz|0",
    "4/2|2|FREQ|K|Hz|0",
    "4/3|22|FREQ|K|Hz|0",
    "4/4|220|FREQ|K|Hz|0",
    "4/5|2|FREQ|M|Hz|0",
    "4/6|22|FREQ|M|Hz|0",
    "4/7|220|FREQ|M|Hz|0",
    "5/0|999|Duty Cycle||%|0",
    "6/0|220|RES||Ω|0",
    "6/1|2|RES|K|Ω|0",
    "6/2|22|RES|K|Ω|0",
    "6/3|220|RES|K|Ω|0",
    "6/4|2|RES|M|Ω|0",
    "6/5|22|RES|M|Ω|0",
    "6/6|220|RES|M|Ω|0",
    "7/0|200|Short-Circuit||Ω|0",
    "8/0|2|Diode||V|0",
    "9/0|22|CAP|n|F|0",
    "9/1|220|CAP|n|F|0",
    "9/2|2|CAP|u|F|0",
    "9/3|22|CAP|u|F|0",
    "9/4|220|CAP|u|F|0",
    "9/5|2|CAP|m|F|0",
    "9/6|22|CAP|m|F|0",
    "9/7|220|CAP|m|F|0",
    "10/0|-40|Celsius||℃|300",
    "10/1|300|Celsius||℃|1000",
    "11/0|-40|Celsius||℉|572",
    "11/1|572|Celsius||℉|1832",
    "12/0|220|DCuA|u|A|0",
    "12/1|2200|DCuA|u|A|0",
    "13/0|220|ACuA|u|A|0",
    "13/1|2200|ACuA|u|A|0",
    "14/0|22|DCmA|m|A|0",
    "14/1|220|DCmA|m|A|0",
    "15/0|22|ACmA|m|A|0",
    "15/1|220|ACmA|m|A|0",
    "16/0|2|DCA||A|0",
    "16/1|22|DCA||A|0",
    "17/0|2|ACA||A|0",
    "17/1|22|ACA||A|0",
    "18/0|6000|hFE|||0",
    "19/0|6000|Live|||0",
    "20/0|6000|NCV|||0",
    "20/1|6000|NCV|||0",
    "21/0|600|LozV||V|0",
    "21/1|1000|LozV||V|0",
    "22/0|99|FREQ||Hz|0",
    "22/1|999|FREQ||Hz|0",
    "22/2|9|FREQ|K|Hz|0",
    "22/3|99|FREQ|K|Hz|0",
    "22/4|999|FREQ|K|Hz|0",
    "22/5|9|FREQ|M|Hz|0",
    "23/0|999|Duty Cycle||%|0",
    "24/0|2|LPF||V|0",
    "24/1|22|LPF||V|0",
    "24/2|220|LPF||V|0",
    "24/3|1000|LPF||V|0",
    "25/0|2|AC+DC||V|0",
    "25/1|22|AC+DC||V|0",
    "25/2|220|AC+DC||V|0",
    "25/3|1000|AC+DC||V|0",
};
// clang-format on

class TestFunctionTable : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void tablesHoldEveryListedRow_data();
    void tablesHoldEveryListedRow();
    void keysAscendAndRangesStartAt30WithoutGaps_data();
    void keysAscendAndRangesStartAt30WithoutGaps();
    void unitTextsAreTheUnicodeSigns();
    void findEntryMatchesBothCodes_data();
    void findEntryMatchesBothCodes();
    void onlyListedFunctionsAreScaled();
    void rebuildingReplacesRows();

private:
    FunctionTable m_default;
    FunctionTable m_e;
};

namespace {

QString describe(const FunctionEntry *entry)
{
    return QStringLiteral("%1/%2|%3|%4|%5|%6|%7")
        .arg(entry->key() >> 8)
        .arg((entry->key() & 0xFF) - 0x30)
        .arg(entry->fullScale())
        .arg(entry->name(), entry->prefix(), entry->unit())
        .arg(entry->upper().toInt());
}

} // namespace

void TestFunctionTable::init()
{
    buildTables(m_default, m_e);
}

void TestFunctionTable::cleanup()
{
    qDeleteAll(m_default);
    qDeleteAll(m_e);
    m_default.clear();
    m_e.clear();
}

void TestFunctionTable::tablesHoldEveryListedRow_data()
{
    QTest::addColumn<bool>("eVariant");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("size");
    QTest::newRow("defaultTable") << false << kDefaultRows << 63;
    QTest::newRow("eTable") << true << kERows << 73;
}

void TestFunctionTable::tablesHoldEveryListedRow()
{
    QFETCH(bool, eVariant);
    QFETCH(QStringList, expected);
    QFETCH(int, size);
    const FunctionTable &table = eVariant ? m_e : m_default;
    QCOMPARE(table.size(), size);
    QCOMPARE(expected.size(), size);
    for (int i = 0; i < table.size(); ++i)
        QCOMPARE(describe(table.at(i)), expected.at(i));
}

void TestFunctionTable::keysAscendAndRangesStartAt30WithoutGaps_data()
{
    QTest::addColumn<bool>("eVariant");
    QTest::newRow("defaultTable") << false;
    QTest::newRow("eTable") << true;
}

void TestFunctionTable::keysAscendAndRangesStartAt30WithoutGaps()
{
    QFETCH(bool, eVariant);
    const FunctionTable &table = eVariant ? m_e : m_default;
    for (int i = 0; i < table.size(); ++i) {
        const FunctionEntry *entry = table.at(i);
        QCOMPARE(entry->key() >> 16, qint64(0));
        QCOMPARE(entry->functionCode(), quint8(entry->key() >> 8));
        QCOMPARE(functionCode(entry), entry->functionCode());
        const bool firstOfFunction =
            i == 0 || table.at(i - 1)->functionCode() != entry->functionCode();
        if (firstOfFunction) {
            QCOMPARE(entry->rangeCode(), quint8(0x30));
        } else {
            QCOMPARE(entry->key(), table.at(i - 1)->key() + 1);
        }
        if (i > 0)
            QVERIFY(entry->key() > table.at(i - 1)->key());
    }
}

void TestFunctionTable::unitTextsAreTheUnicodeSigns()
{
    const FunctionEntry *ohm = ::findEntry(m_default, 6, 0x30);
    const FunctionEntry *celsius = ::findEntry(m_e, 10, 0x31);
    const FunctionEntry *fahrenheit = ::findEntry(m_default, 11, 0x30);
    QVERIFY(ohm && celsius && fahrenheit);
    QCOMPARE(ohm->unit(), QString(QChar(0x03A9)));
    QCOMPARE(celsius->unit(), QString(QChar(0x2103)));
    QCOMPARE(fahrenheit->unit(), QString(QChar(0x2109)));
}

void TestFunctionTable::findEntryMatchesBothCodes_data()
{
    QTest::addColumn<bool>("eVariant");
    QTest::addColumn<int>("function");
    QTest::addColumn<int>("range");
    QTest::addColumn<QString>("found"); // empty: no row

    QTest::newRow("DCV 60 V") << false << 2 << 0x31 << "2/1|60|DCV||V|0";
    QTest::newRow("LPF only in eTable") << true << 24 << 0x30 << "24/0|2|LPF||V|0";
    QTest::newRow("LPF not in defaultTable") << false << 24 << 0x30 << "";
    QTest::newRow("AC+DC not in defaultTable") << false << 25 << 0x33 << "";
    QTest::newRow("diode has one range") << false << 8 << 0x31 << "";
    QTest::newRow("range below 30") << false << 2 << 0x2F << "";
    QTest::newRow("last FREQ range") << true << 4 << 0x37 << "4/7|220|FREQ|M|Hz|0";
    QTest::newRow("FREQ ends earlier in defaultTable") << false << 4 << 0x36 << "";
    QTest::newRow("unknown function") << true << 26 << 0x30 << "";
    QTest::newRow("acknowledgement code") << true << 0xFF << 0x30 << "";
    QTest::newRow("range code in the function byte") << false << 0x30 << 2 << "";
}

void TestFunctionTable::findEntryMatchesBothCodes()
{
    QFETCH(bool, eVariant);
    QFETCH(int, function);
    QFETCH(int, range);
    QFETCH(QString, found);
    const FunctionEntry *entry =
        ::findEntry(eVariant ? m_e : m_default, quint8(function), quint8(range));
    QCOMPARE(entry ? describe(entry) : QString(), found);
}

void TestFunctionTable::onlyListedFunctionsAreScaled()
{
    const QSet<int> listed = {4, 6, 7, 9, 18, 19, 20, 22};
    for (int code = 0; code < 256; ++code)
        QCOMPARE(isScaledFunction(quint8(code)), listed.contains(code));
    QCOMPARE(scaledFunctions.size(), listed.size());
}

void TestFunctionTable::rebuildingReplacesRows()
{
    buildTables(m_default, m_e);
    QCOMPARE(m_default.size(), 63);
    QCOMPARE(m_e.size(), 73);
    QCOMPARE(describe(m_default.first()), kDefaultRows.first());
}

QTEST_APPLESS_MAIN(TestFunctionTable)
#include "tst_functiontable.moc"
