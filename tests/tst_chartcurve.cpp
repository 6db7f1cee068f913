#include "record/curvedecimator.h"

#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QtTest>

// The thinned chart curve must set exactly the pixels of the full polyline through every sample.
class TestChartCurve : public QObject
{
    Q_OBJECT
private slots:
    void thinnedCurveMatchesFullPolyline_data();
    void thinnedCurveMatchesFullPolyline();
    void manyRandomCurvesMatch();
    void denseCurveIsThinnedToFewPointsPerColumn();
};

namespace {

QVector<int> makeRows(const QString &shape, int count, int height, quint32 seed)
{
    QRandomGenerator random(seed);
    QVector<int> rows(count);
    for (int k = 0; k < count; ++k) {
        const int step = (height - 1) * k / qMax(count - 1, 1);
        const int spike = random.bounded(100) < 2 ? random.bounded(height) : height / 2;
        rows[k] = shape == "random"     ? random.bounded(height)
                  : shape == "rising"   ? height - 1 - step
                  : shape == "falling"  ? step
                  : shape == "constant" ? height / 3
                                        : spike;
    }
    return rows;
}

QVector<QPoint> thin(const QVector<int> &rows, double xStep, int plotX)
{
    return CurveDecimator().thin(rows.size(), xStep, plotX, [&rows](int from, int to, auto visit) {
        for (int k = from; k < to; ++k)
            visit(rows.at(k));
    });
}

QImage render(const QVector<QPoint> &points, const QSize &size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setPen(QPen(QColor(250, 150, 0)));
    painter.drawPolyline(points);
    return image;
}

// Both curves rendered with room around the plot; true when every pixel is the same.
bool curvesMatch(const QVector<int> &rows, int plotWidth, int plotHeight)
{
    const int plotX = 7;
    const double xStep = rows.isEmpty() ? 0 : double(plotWidth) / rows.size();
    QVector<QPoint> full;
    for (int k = 0; k < rows.size(); ++k)
        full.append(QPoint(int(k * xStep + plotX), rows.at(k)));
    const QSize size(plotWidth + 2 * plotX, plotHeight + 4);
    return render(full, size) == render(thin(rows, xStep, plotX), size);
}

} // namespace

void TestChartCurve::thinnedCurveMatchesFullPolyline_data()
{
    QTest::addColumn<QString>("shape");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("width");
    for (const char *shape : {"random", "rising", "falling", "constant", "spiky"}) {
        for (int count : {1, 2, 5, 999, 1001, 20000}) {
            for (int width : {1000, 333})
                QTest::addRow("%s n=%d w=%d", shape, count, width) << shape << count << width;
        }
    }
}

void TestChartCurve::thinnedCurveMatchesFullPolyline()
{
    QFETCH(QString, shape);
    QFETCH(int, count);
    QFETCH(int, width);
    QVERIFY(curvesMatch(makeRows(shape, count, 500, quint32(count * 31 + width)), width, 500));
}

// Small images make every case of a column's zigzag (runs, repeats, turns) occur; long runs of
// one row over a few rows put ties and turns on the edges of the summed-up chunks.
void TestChartCurve::manyRandomCurvesMatch()
{
    QRandomGenerator random(704);
    for (int round = 0; round < 4300; ++round) {
        const bool longColumns = round >= 4000;
        const int minCount = longColumns ? CurveDecimator::kChunkSize : 1;
        const int width = 2 + int(random.bounded(longColumns ? 9 : 30));
        const int height = 2 + int(random.bounded(longColumns ? 5 : 12));
        QVector<int> rows(minCount + int(random.bounded(12 * minCount + 120)));
        int row = int(random.bounded(height));
        for (int &r : rows)
            r = row = random.bounded(100) < (longColumns ? 15 : 100) ? random.bounded(height) : row;
        QVERIFY2(curvesMatch(rows, width, height),
                 qPrintable(QStringLiteral("round %1").arg(round)));
    }
}

void TestChartCurve::denseCurveIsThinnedToFewPointsPerColumn()
{
    const QVector<int> rows = makeRows("random", 100000, 500, 1);
    const QVector<QPoint> thinned = thin(rows, 0.01, 0);
    // Five points a column, and the curve's first and last stroke kept whole.
    QVERIFY2(thinned.size() <= 5 * 1000 + 2, qPrintable(QString::number(thinned.size())));
    QCOMPARE(thinned.mid(0, 2), (QVector<QPoint>{{0, rows.at(0)}, {0, rows.at(1)}}));
    QCOMPARE(thinned.last(), QPoint(999, rows.last()));
}

QTEST_GUILESS_MAIN(TestChartCurve)
#include "tst_chartcurve.moc"
