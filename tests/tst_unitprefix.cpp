#include "meter/unitprefix.h"

#include <QtTest>

class TestUnitPrefix : public QObject
{
    Q_OBJECT
private slots:
    void prefixFactorMatchesExactText()
    {
        // The meter writes kilo as "K"; unknown or doubled texts count as no prefix.
        const std::pair<const char *, double> rows[] = {{"K", 1e3}, {"k", 1e3},  {"", 1.0},
                                                        {"M", 1e6}, {"m", 1e-3}, {"kk", 1.0}};
        for (const auto &[prefix, factor] : rows)
            QCOMPARE(prefixFactor(QString::fromLatin1(prefix)), factor);
    }

    void scaleToPrefixChoosesRow_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("shift");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last");
        QTest::addColumn<double>("scaled");
        QTest::addColumn<double>("scale"); // 42: left as it was
        QTest::addColumn<QString>("prefix");
        QTest::newRow("0") << 0.0 << 0 << -1 << -1 << 0.0 << 42.0 << " ";
        QTest::newRow("-2500") << -2500.0 << 0 << -1 << -1 << -2.5 << 0.001 << "k";
        QTest::newRow("5e-15") << 5e-15 << 0 << -1 << -1 << 5e-3 << 1e12 << "p";
        QTest::newRow("1000") << 1000.0 << 0 << -1 << -1 << 1.0 << 0.001 << "k";
        QTest::newRow("2e13") << 2e13 << 0 << -1 << -1 << 20.0 << 1e-12 << "T";
        QTest::newRow("shift past end") << 2500.0 << 20 << -1 << -1 << 2.5e15 << 1e12 << "p";
        QTest::newRow("shift before start") << 2500.0 << -20 << -1 << -1 << 2.5e-9 << 1e-12 << "T";
        QTest::newRow("walk starts at first") << 2e13 << 0 << 3 << 99 << 2e10 << 1e-3 << "k";
        QTest::newRow("walk stops after last") << 0.5 << 0 << 0 << 2 << 5e-4 << 1e-3 << "k";
    }

    void scaleToPrefixChoosesRow()
    {
        QFETCH(double, value);
        QFETCH(int, shift);
        QFETCH(int, first);
        QFETCH(int, last);
        double scale = 42;
        QString prefix = QStringLiteral("x");
        QTEST(scaleToPrefix(value, scale, prefix, shift, first, last), "scaled");
        QTEST(scale, "scale");
        QTEST(prefix, "prefix");
    }
};

QTEST_APPLESS_MAIN(TestUnitPrefix)
#include "tst_unitprefix.moc"
