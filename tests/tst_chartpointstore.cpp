#include "meter/dmmdata.h"
#include "record/chartpointstore.h"
#include "recordsamples.h"

#include <QRandomGenerator>
#include <QtTest>
#include <cmath>

// The compact sample store must give back every sample exactly as it was added.
class TestChartPointStore : public QObject
{
    Q_OBJECT
private slots:
    void samplesComeBackExactly();
    void manyDistinctLabelsComeBackExactly();
    void valueRangeMatchesAScanOfTheValues();
};

namespace {

ChartPoint reading(const QDateTime &time, double value, const QString &text,
                   const QString &function, const QString &unit)
{
    return ChartPoint(time, value, text, ChartPoint::makeLabel(time, function, text, unit));
}

void compareSample(const ChartPointStore &store, int index, const ChartPoint &expected)
{
    QCOMPARE(store.value(index), expected.value());
    QCOMPARE(store.time(index), expected.time());
    QCOMPARE(store.time(index).timeSpec(), expected.time().timeSpec());
    QCOMPARE(store.valueText(index), expected.valueText());
    QCOMPARE(store.label(index), expected.label());
}

// Samples that do not fit the compact form, each for another reason.
QVector<ChartPoint> unusualSamples()
{
    const QDateTime local(QDate(2023, 7, 1), QTime(12, 0, 5, 250));
    const auto at = [](const QDateTime &time, const QString &text, const QVariant &label) {
        return ChartPoint(time, -7.25, text, label);
    };
    const auto label = [](const QDateTime &time, const char *function, const QString &text) {
        return QVariant(ChartPoint::makeLabel(time, function, text, "V"));
    };
    return {at(local.toUTC(), "1", label(local.toUTC(), "DCV", "1")),
            at(local.toOffsetFromUtc(3600), "1", label(local, "DCV", "1")),
            at(QDateTime(), "1", "x"),
            at(local, "1", 42), // a label that is no text
            at(local, "1", label(local.addSecs(1), "DCV", "1")),
            at(local, "1", label(local, "DCV", "9")), // without its value text
            at(local, "12345678", label(local, "DCV", "12345678")),
            at(local, "1.2\u03a9", label(local, "Res", "1.2\u03a9")),
            at(local, "1", label(local, "A 1 B", "1")),
            at(local, "   ", label(local, "", "   "))};
}

} // namespace

void TestChartPointStore::samplesComeBackExactly()
{
    // Hover points of every function, every 125 ms from just before midnight over three storage
    // blocks, the unusual samples among them.
    recordsamples::RecordSetup setup;
    const QDateTime start(QDate(2024, 3, 30), QTime(23, 59, 58, 900));
    const QList<DmmData *> readings =
        recordsamples::everyRowReadings(setup.defaultTable, setup.eTable, start);
    const QVector<ChartPoint> unusual = unusualSamples();
    ChartPointStore store;
    QVector<ChartPoint> added;
    for (int i = 0; i < 3 * ChartPointStore::kBlockSize + 17; ++i) {
        const DmmData &r = *readings.at(i % readings.size());
        added.append(i % 1000 == 7 ? unusual.at(i / 1000 % unusual.size())
                                   : reading(start.addMSecs(125 * i), r.value(), r.valueText(),
                                             r.functionName(), r.unitText()));
        store.append(added.last());
    }
    qDeleteAll(readings);
    QCOMPARE(store.count(), added.size());
    for (int i = 0; i < added.size(); ++i)
        compareSample(store, i, added.at(i));

    store.clear();
    QCOMPARE(store.count(), 0);
    QVERIFY(!store.valueRange(0, 10).valid);
    store.append(added.at(8));
    compareSample(store, 0, added.at(8));
}

// More function and unit pairs than the compact index can number: the rest are kept whole.
void TestChartPointStore::manyDistinctLabelsComeBackExactly()
{
    const QDateTime time(QDate(2022, 1, 2), QTime(3, 4, 5));
    ChartPointStore store;
    for (int i = 0; i < 70000; ++i)
        store.append(reading(time, i, "1", QString::number(i), "V"));
    for (int i : {0, 65534, 65535, 65536, 69999})
        compareSample(store, i, reading(time, i, "1", QString::number(i), "V"));
}

// Stretches across block edges, beyond both ends and reversed, over values that are not finite.
void TestChartPointStore::valueRangeMatchesAScanOfTheValues()
{
    QRandomGenerator random(5);
    ChartPointStore store;
    QVector<double> values = {std::nan(""), 2, HUGE_VAL, -3, -HUGE_VAL};
    for (int i = 0; i < 5 * ChartPointStore::kBlockSize; ++i)
        values.append(random.bounded(1000.0) - 300);
    for (double value : values)
        store.append(ChartPoint(QDateTime(), value, QString(), QVariant()));
    const int n = values.size(), block = ChartPointStore::kBlockSize;
    QList<QPair<int, int>> stretches = {
        {0, 0}, {0, 4}, {block - 1, block}, {block, 2 * block}, {-5, 3}, {n - 3, n}, {5, 4}};
    for (int i = 0; i < 200; ++i) {
        const int a = int(random.bounded(n));
        stretches.append({a, a + int(random.bounded(n - a))});
    }
    for (const auto &[first, last] : stretches) {
        double min = HUGE_VAL, max = -HUGE_VAL;
        for (int i = qMax(first, 0); i <= qMin(last, n - 1); ++i) {
            if (std::isfinite(values.at(i))) {
                min = qMin(min, values.at(i));
                max = qMax(max, values.at(i));
            }
        }
        const ChartPointStore::Range range = store.valueRange(first, last);
        QCOMPARE(range.valid, min <= max);
        QVERIFY(!range.valid || (range.min == min && range.max == max));
    }
}

QTEST_GUILESS_MAIN(TestChartPointStore)
#include "tst_chartpointstore.moc"
