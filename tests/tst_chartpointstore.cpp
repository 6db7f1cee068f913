#include "record/chartpointstore.h"

#include <QRandomGenerator>
#include <QTimeZone>
#include <QtTest>
#include <cmath>
#include <limits>

// The compact sample store must give back every sample exactly as it was added.
class TestChartPointStore : public QObject
{
    Q_OBJECT
private slots:
    void everySampleComesBackExactly();
    void unusualSamplesComeBackExactly_data();
    void unusualSamplesComeBackExactly();
    void manyDistinctLabelsComeBackExactly();
    void valueRangeMatchesAScanOfTheValues();
    void valueRangeSkipsValuesThatAreNotFinite();
    void valuesAreVisitedInOrderAcrossBlocks();
    void clearEmptiesTheStore();
};

namespace {

ChartPoint reading(const QDateTime &time, double value, const QString &valueText,
                   const QString &functionName, const QString &unitText)
{
    return ChartPoint(time, value, valueText,
                      ChartPoint::makeLabel(time, functionName, valueText, unitText));
}

void compareSample(const ChartPointStore &store, int index, const ChartPoint &expected)
{
    QCOMPARE(store.value(index), expected.value());
    QCOMPARE(store.time(index), expected.time());
    QCOMPARE(store.time(index).toString(ChartPoint::labelTimeFormat),
             expected.time().toString(ChartPoint::labelTimeFormat));
    QCOMPARE(store.valueText(index), expected.valueText());
    QCOMPARE(store.label(index), expected.label());
    QCOMPARE(store.point(index).label(), expected.label());
}

} // namespace

void TestChartPointStore::everySampleComesBackExactly()
{
    const QStringList functions = {"DCV", "ACmV", "AC+DC: DC", "AC+DC: AC", "Res", "Hz"};
    const QStringList units = {"V", "mV", "K\u03a9", "", "Hz", "uA"};
    const QStringList texts = {" 1.234 ", "-12.345", "  0.L  ", "  O.L  ", "0.0000 ", "", "-"};
    QRandomGenerator random(11);
    ChartPointStore store;
    QVector<ChartPoint> added;
    // Readings every 125 ms from just before midnight, over three storage blocks.
    QDateTime time(QDate(2024, 3, 30), QTime(23, 59, 58, 900));
    for (int i = 0; i < 3 * ChartPointStore::kBlockSize + 17; ++i) {
        const int kind = int(random.bounded(functions.size()));
        const ChartPoint point = reading(time, random.bounded(2000.0) - 1000, texts.at(i % 7),
                                         functions.at(kind), units.at(kind));
        store.append(point);
        added.append(point);
        time = time.addMSecs(125);
    }
    QCOMPARE(store.count(), added.size());
    for (int i = 0; i < added.size(); ++i)
        compareSample(store, i, added.at(i));
}

void TestChartPointStore::unusualSamplesComeBackExactly_data()
{
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<QString>("valueText");
    QTest::addColumn<QVariant>("label");
    const QDateTime local(QDate(2023, 7, 1), QTime(12, 0, 5, 250));
    const QString usual = ChartPoint::makeLabel(local, "DCV", " 1.234 ", "V");
    QTest::newRow("usual") << local << " 1.234 " << QVariant(usual);
    QTest::newRow("utc time") << local.toUTC() << " 1.234 "
                              << QVariant(
                                     ChartPoint::makeLabel(local.toUTC(), "DCV", " 1.234 ", "V"));
    QTest::newRow("offset time") << local.toOffsetFromUtc(3600) << " 1.234 " << QVariant(usual);
    QTest::newRow("invalid time") << QDateTime() << " 1.234 " << QVariant("x");
    QTest::newRow("label not text") << local << " 1.234 " << QVariant(42);
    QTest::newRow("no label") << local << " 1.234 " << QVariant();
    QTest::newRow("label of another time")
        << local << " 1.234 "
        << QVariant(ChartPoint::makeLabel(local.addSecs(1), "DCV", " 1.234 ", "V"));
    QTest::newRow("label without value")
        << local << " 1.234 "
        << QVariant(local.toString(ChartPoint::labelTimeFormat) + ": DCV 9.999V");
    QTest::newRow("eight characters")
        << local << "12345678" << QVariant(ChartPoint::makeLabel(local, "DCV", "12345678", "V"));
    QTest::newRow("not latin-1") << local << "1.2\u03a9"
                                 << QVariant(ChartPoint::makeLabel(local, "Res", "1.2\u03a9", ""));
    QTest::newRow("value text inside name")
        << local << "1" << QVariant(ChartPoint::makeLabel(local, "A 1 B", "1", " 1"));
    QTest::newRow("empty name and unit")
        << local << "   " << QVariant(ChartPoint::makeLabel(local, "", "   ", ""));
}

void TestChartPointStore::unusualSamplesComeBackExactly()
{
    QFETCH(QDateTime, time);
    QFETCH(QString, valueText);
    QFETCH(QVariant, label);
    ChartPointStore store;
    // Ordinary samples around the unusual one, which must not disturb them.
    const QDateTime before(QDate(2023, 7, 1), QTime(12, 0, 5, 0));
    const ChartPoint neighbour = reading(before, 1.5, " 1.500 ", "DCV", "V");
    const ChartPoint unusual(time, -7.25, valueText, label);
    store.append(neighbour);
    store.append(unusual);
    store.append(neighbour);
    compareSample(store, 0, neighbour);
    compareSample(store, 1, unusual);
    compareSample(store, 2, neighbour);
}

// More function and unit pairs than the compact index can number: the rest are kept whole.
void TestChartPointStore::manyDistinctLabelsComeBackExactly()
{
    ChartPointStore store;
    const QDateTime time(QDate(2022, 1, 2), QTime(3, 4, 5));
    const int count = 70000;
    for (int i = 0; i < count; ++i)
        store.append(reading(time, i, "1", QString::number(i), "V"));
    for (int i : {0, 1, 65533, 65534, 65535, 65536, count - 1})
        compareSample(store, i, reading(time, i, "1", QString::number(i), "V"));
}

void TestChartPointStore::valueRangeMatchesAScanOfTheValues()
{
    QRandomGenerator random(5);
    ChartPointStore store;
    QVector<double> values;
    for (int i = 0; i < 5 * ChartPointStore::kBlockSize + 100; ++i) {
        values.append(random.bounded(1000.0) - 300);
        store.append(ChartPoint(QDateTime(), values.last(), QString(), QVariant()));
    }
    const int n = values.size();
    const QList<QPair<int, int>> stretches = {{0, n - 1},   {0, 0},       {n - 1, n - 1},
                                              {4095, 4096}, {4096, 8191}, {4096, 8192},
                                              {100, 12000}, {-5, 3},      {n - 3, n + 50}};
    QList<QPair<int, int>> all = stretches;
    for (int i = 0; i < 200; ++i) {
        const int a = int(random.bounded(n));
        all.append({a, a + int(random.bounded(n - a))});
    }
    for (const auto &stretch : all) {
        double min = values.at(qMax(stretch.first, 0));
        double max = min;
        for (int i = qMax(stretch.first, 0); i <= qMin(stretch.second, n - 1); ++i) {
            min = qMin(min, values.at(i));
            max = qMax(max, values.at(i));
        }
        const ChartPointStore::Range range = store.valueRange(stretch.first, stretch.second);
        QVERIFY(range.valid);
        QCOMPARE(range.min, min);
        QCOMPARE(range.max, max);
    }
    QVERIFY(!store.valueRange(5, 4).valid);
    QVERIFY(!store.valueRange(n, n + 10).valid);
}

void TestChartPointStore::valueRangeSkipsValuesThatAreNotFinite()
{
    ChartPointStore store;
    for (double value :
         {std::numeric_limits<double>::quiet_NaN(), 2.0, std::numeric_limits<double>::infinity(),
          -3.0, -std::numeric_limits<double>::infinity()})
        store.append(ChartPoint(QDateTime(), value, QString(), QVariant()));
    const ChartPointStore::Range range = store.valueRange(0, 4);
    QVERIFY(range.valid);
    QCOMPARE(range.min, -3.0);
    QCOMPARE(range.max, 2.0);
    QVERIFY(!store.valueRange(0, 0).valid);
    QVERIFY(std::isnan(store.value(0)));
}

void TestChartPointStore::valuesAreVisitedInOrderAcrossBlocks()
{
    ChartPointStore store;
    const int n = 2 * ChartPointStore::kBlockSize + 3;
    for (int i = 0; i < n; ++i)
        store.append(ChartPoint(QDateTime(), i, QString(), QVariant()));
    QVector<double> seen;
    store.forEachValue(ChartPointStore::kBlockSize - 2, n + 5,
                       [&seen](double value) { seen.append(value); });
    QCOMPARE(seen.size(), n - (ChartPointStore::kBlockSize - 2));
    for (int i = 0; i < seen.size(); ++i)
        QCOMPARE(seen.at(i), double(ChartPointStore::kBlockSize - 2 + i));
}

void TestChartPointStore::clearEmptiesTheStore()
{
    ChartPointStore store;
    const QDateTime time(QDate(2022, 1, 2), QTime(3, 4, 5));
    for (int i = 0; i < 5000; ++i)
        store.append(reading(time, i, "1", "DCV", "V"));
    store.clear();
    QCOMPARE(store.count(), 0);
    QVERIFY(!store.valueRange(0, 10).valid);
    const ChartPoint again = reading(time.addSecs(60), 4.5, " 4.5", "ACV", "mV");
    store.append(again);
    QCOMPARE(store.count(), 1);
    compareSample(store, 0, again);
}

QTEST_GUILESS_MAIN(TestChartPointStore)
#include "tst_chartpointstore.moc"
