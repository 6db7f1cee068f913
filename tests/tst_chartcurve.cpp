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
    void manyRandomCurvesMatch_data();
    void manyRandomCurvesMatch();
    void summariesFollowAppendedAndForgottenRows();
    void denseCurveIsThinnedToFewPointsPerColumn();
};

namespace {

QVector<int> makeRows(const QString &shape, int count, int height, quint32 seed)
{
    QRandomGenerator random(seed);
    QVector<int> rows(count);
    for (int k = 0; k < count; ++k) {
        const double t = count > 1 ? double(k) / (count - 1) : 0;
        if (shape == "random")
            rows[k] = random.bounded(height);
        else if (shape == "rising" || shape == "falling")
            rows[k] = int((height - 1) * (shape == "rising" ? 1 - t : t));
        else if (shape == "constant")
            rows[k] = height / 3;
        else // spiky
            rows[k] = random.bounded(100) < 2 ? random.bounded(height) : height / 2;
    }
    return rows;
}

QVector<QPoint> thinWith(CurveDecimator &decimator, const QVector<int> &rows, int count,
                         double xStep, int plotX)
{
    return decimator.thin(count, xStep, plotX, [&rows](int from, int to, auto visit) {
        for (int k = from; k < to; ++k)
            visit(rows.at(k));
    });
}

QVector<QPoint> thin(const QVector<int> &rows, double xStep, int plotX)
{
    CurveDecimator decimator;
    return thinWith(decimator, rows, rows.size(), xStep, plotX);
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

void TestChartCurve::manyRandomCurvesMatch_data()
{
    QTest::addColumn<int>("rounds");
    QTest::addColumn<int>("minCount");
    QTest::addColumn<int>("maxWidth");
    QTest::addColumn<int>("maxHeight");
    QTest::addColumn<int>("changePercent"); // how often the row changes from one sample to the next
    // Few rows and columns make every case of a column's zigzag (runs, repeats, turns) occur.
    QTest::newRow("small images") << 4000 << 1 << 31 << 13 << 100;
    // Long runs of one row put ties and turns on the edges of the summed-up chunks.
    QTest::newRow("long columns") << 300 << CurveDecimator::kChunkSize << 10 << 6 << 15;
}

void TestChartCurve::manyRandomCurvesMatch()
{
    QFETCH(int, rounds);
    QFETCH(int, minCount);
    QFETCH(int, maxWidth);
    QFETCH(int, maxHeight);
    QFETCH(int, changePercent);
    QRandomGenerator random(704);
    for (int round = 0; round < rounds; ++round) {
        const int width = 2 + int(random.bounded(maxWidth - 1));
        const int height = 2 + int(random.bounded(maxHeight - 1));
        QVector<int> rows(minCount + int(random.bounded(12 * minCount + 120)));
        int row = int(random.bounded(height));
        for (int &r : rows)
            r = row = random.bounded(100) < changePercent ? int(random.bounded(height)) : row;
        QVERIFY2(curvesMatch(rows, width, height),
                 qPrintable(QStringLiteral("round %1 n=%2 w=%3 h=%4")
                                .arg(round)
                                .arg(rows.size())
                                .arg(width)
                                .arg(height)));
    }
}

// What was summed up before must give the curve of thinning all samples afresh, until the rows
// change and the decimator is told to forget them.
void TestChartCurve::summariesFollowAppendedAndForgottenRows()
{
    const QVector<int> rows = makeRows("random", 20000, 300, 5);
    CurveDecimator growing;
    for (int count : {100, 6400, 6401, 6463, 6464, 6465, 19999, 20000}) {
        const double xStep = 500.0 / count;
        CurveDecimator fresh;
        QCOMPARE(thinWith(growing, rows, count, xStep, 3), thinWith(fresh, rows, count, xStep, 3));
    }
    const QVector<int> other = makeRows("falling", 20000, 300, 6);
    growing.forgetRows();
    QCOMPARE(thinWith(growing, other, 20000, 0.025, 3), thin(other, 0.025, 3));
}

void TestChartCurve::denseCurveIsThinnedToFewPointsPerColumn()
{
    const QVector<int> rows = makeRows("random", 100000, 500, 1);
    const QVector<QPoint> thinned = thin(rows, 1000.0 / rows.size(), 0);
    // Five points a column, and the curve's first and last stroke kept whole.
    QVERIFY2(thinned.size() <= 5 * 1000 + 2, qPrintable(QString::number(thinned.size())));
    QCOMPARE(thinned.mid(0, 2), (QVector<QPoint>{{0, rows.at(0)}, {0, rows.at(1)}}));
    QCOMPARE(thinned.last(), QPoint(999, rows.last()));
}

QTEST_GUILESS_MAIN(TestChartCurve)
#include "tst_chartcurve.moc"
