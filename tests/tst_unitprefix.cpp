#include "meter/unitprefix.h"

#include <QtTest>

class TestUnitPrefix : public QObject
{
    Q_OBJECT
private slots:
    void prefixFactorFindsExactText_data();
    void prefixFactorFindsExactText();
    void scaleToPrefixChoosesRow_data();
    void scaleToPrefixChoosesRow();
    void zeroKeepsScaleAndGivesBlank();
    void shiftAndBoundsAreClamped();
};

void TestUnitPrefix::prefixFactorFindsExactText_data()
{
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<double>("factor");
    const std::pair<const char *, double> rows[] = {
        {"K", 1e3}, {"k", 1e3},  {" ", 1.0},  {"", 1.0},   {"x", 1.0},
        {"M", 1e6}, {"m", 1e-3}, {"u", 1e-6}, {"n", 1e-9}, {"kk", 1.0}};
    for (const auto &[prefix, factor] : rows)
        QTest::addRow("'%s'", prefix) << QString::fromLatin1(prefix) << factor;
}

void TestUnitPrefix::prefixFactorFindsExactText()
{
    QFETCH(QString, prefix);
    QFETCH(double, factor);
    QCOMPARE(prefixFactor(prefix), factor);
}

void TestUnitPrefix::scaleToPrefixChoosesRow_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("scaled");
    QTest::addColumn<double>("scale");
    QTest::addColumn<QString>("prefix");
    QTest::newRow("-2500") << -2500.0 << -2.5 << 0.001 << "k";
    QTest::newRow("5e-15") << 5e-15 << 5e-3 << 1e12 << "p";
    QTest::newRow("999.9") << 999.9 << 999.9 << 1.0 << " ";
    QTest::newRow("1000") << 1000.0 << 1.0 << 0.001 << "k";
    QTest::newRow("1e-12") << 1e-12 << 1.0 << 1e12 << "p";
    QTest::newRow("1") << 1.0 << 1.0 << 1.0 << " ";
    QTest::newRow("0.0051") << 0.0051 << 5.1 << 1000.0 << "m";
    QTest::newRow("2e13") << 2e13 << 20.0 << 1e-12 << "T";
}

void TestUnitPrefix::scaleToPrefixChoosesRow()
{
    QFETCH(double, value);
    QFETCH(double, scaled);
    QFETCH(double, scale);
    QFETCH(QString, prefix);
    double gotScale = 0;
    QString gotPrefix;
    QCOMPARE(scaleToPrefix(value, gotScale, gotPrefix, 0, -1, -1), scaled);
    QCOMPARE(gotScale, scale);
    QCOMPARE(gotPrefix, prefix);
}

void TestUnitPrefix::zeroKeepsScaleAndGivesBlank()
{
    double scale = 42;
    QString prefix = QStringLiteral("k");
    QCOMPARE(scaleToPrefix(0, scale, prefix, 0, -1, -1), 0.0);
    QCOMPARE(scale, 42.0);
    QCOMPARE(prefix, QStringLiteral(" "));
}

void TestUnitPrefix::shiftAndBoundsAreClamped()
{
    double scale = 0;
    QString prefix;
    // A shift past the end stops at the last row.
    scaleToPrefix(2500, scale, prefix, 20, -1, -1);
    QCOMPARE(prefix, QStringLiteral("p"));
    // A negative shift past the start stops at the first row.
    scaleToPrefix(2500, scale, prefix, -20, -1, -1);
    QCOMPARE(prefix, QStringLiteral("T"));
    // last beyond the table counts as the table's end; first starts the walk later.
    scaleToPrefix(2e13, scale, prefix, 0, 3, 99);
    QCOMPARE(prefix, QStringLiteral("k"));
    // A walk that ends past last lands on the row after it.
    scaleToPrefix(0.5, scale, prefix, 0, 0, 2);
    QCOMPARE(prefix, QStringLiteral("k"));
}

QTEST_APPLESS_MAIN(TestUnitPrefix)
#include "tst_unitprefix.moc"
