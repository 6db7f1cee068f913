#include "record/curvedecimator.h"

#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QtTest>
#include <cmath>

// The thinned chart curve must set exactly the pixels of the full polyline through every sample.
class TestChartCurve : public QObject
{
    Q_OBJECT
private slots:
    void thinnedCurveMatchesFullPolyline_data();
    void thinnedCurveMatchesFullPolyline();
    void manySmallRandomCurvesMatch();
    void longColumnsOverFewRowsMatch();
    void summariesFollowAppendedSamples();
    void forgottenRowsAreReadAgain();
    void denseCurveIsThinnedToFewPointsPerColumn();
    void sparseCurveKeepsEverySample();
    void columnsKeepTheirOuterPointsAndTurns();
};

namespace {

const QColor kCurveColour(250, 150, 0);

QVector<int> makeRows(const QString &shape, int count, int height, quint32 seed)
{
    QRandomGenerator random(seed);
    QVector<int> rows(count);
    for (int k = 0; k < count; ++k) {
        const double t = count > 1 ? double(k) / (count - 1) : 0;
        int row = 0;
        if (shape == "random")
            row = random.bounded(height);
        else if (shape == "rising")
            row = int((height - 1) * (1 - t));
        else if (shape == "falling")
            row = int((height - 1) * t);
        else if (shape == "constant")
            row = height / 3;
        else if (shape == "spiky")
            row = random.bounded(100) < 2 ? random.bounded(height) : height / 2;
        else if (shape == "sine")
            row = int((height - 1) * (0.5 + 0.45 * std::sin(t * 40)) + random.bounded(3));
        else if (shape == "steps")
            row = (k / 7) % 2 ? 2 : height - 3;
        else if (shape == "jitter")
            row = height / 2 + random.bounded(3) - 1;
        rows[k] = qBound(0, row, height - 1);
    }
    return rows;
}

QVector<QPoint> samplePoints(const QVector<int> &rows, double xStep, int plotX)
{
    QVector<QPoint> points;
    for (int k = 0; k < rows.size(); ++k)
        points.append(QPoint(int(k * xStep + plotX), rows.at(k)));
    return points;
}

// The first count rows, thinned by the given decimator.
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
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setPen(QPen(kCurveColour));
    painter.drawPolyline(points);
    return image;
}

int differingPixels(const QImage &a, const QImage &b)
{
    int count = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto *rowA = reinterpret_cast<const QRgb *>(a.constScanLine(y));
        const auto *rowB = reinterpret_cast<const QRgb *>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x)
            count += rowA[x] != rowB[x];
    }
    return count;
}

// Renders both curves into an image with room around the plot and counts the pixels that differ.
int compareCurves(const QVector<int> &rows, int plotWidth, int plotHeight)
{
    const int plotX = 7;
    const double xStep = rows.isEmpty() ? 0 : double(plotWidth) / rows.size();
    const QVector<QPoint> full = samplePoints(rows, xStep, plotX);
    const QSize size(plotWidth + 2 * plotX, plotHeight + 4);
    return differingPixels(render(full, size), render(thin(rows, xStep, plotX), size));
}

} // namespace

void TestChartCurve::thinnedCurveMatchesFullPolyline_data()
{
    QTest::addColumn<QString>("shape");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    const QStringList shapes = {"random", "rising", "falling", "constant",
                                "spiky",  "sine",   "steps",   "jitter"};
    for (const QString &shape : shapes) {
        // Full-height noise makes the full polyline itself slow to draw: keep it shorter.
        const int most = shape == "random" || shape == "spiky" ? 10000 : 200000;
        for (int count : {1, 2, 3, 5, 40, 999, 1000, 1001, 4000, most}) {
            for (int width : {1000, 333}) {
                QTest::addRow("%s n=%d w=%d", qPrintable(shape), count, width)
                    << shape << count << width << 500;
            }
        }
    }
}

void TestChartCurve::thinnedCurveMatchesFullPolyline()
{
    QFETCH(QString, shape);
    QFETCH(int, count);
    QFETCH(int, width);
    QFETCH(int, height);
    const QVector<int> rows = makeRows(shape, count, height, quint32(count * 31 + width));
    QCOMPARE(compareCurves(rows, width, height), 0);
}

// Small images with few rows and columns make every case of a column's zigzag (runs, repeats,
// one-row steps, turns at the extremes) occur many times.
void TestChartCurve::manySmallRandomCurvesMatch()
{
    QRandomGenerator random(704);
    int failures = 0;
    QString firstFailure;
    for (int round = 0; round < 4000; ++round) {
        const int count = 1 + int(random.bounded(120));
        const int width = 2 + int(random.bounded(30));
        const int height = 2 + int(random.bounded(12));
        QVector<int> rows(count);
        for (int &row : rows)
            row = int(random.bounded(height));
        if (compareCurves(rows, width, height) != 0) {
            if (failures++ == 0)
                firstFailure = QStringLiteral("round %1 n=%2 w=%3 h=%4")
                                   .arg(round)
                                   .arg(count)
                                   .arg(width)
                                   .arg(height);
        }
    }
    QVERIFY2(failures == 0, qPrintable(firstFailure));
}

// Columns of hundreds of samples over a handful of rows: ties, repeats and turns fall on the
// edges of the summed-up chunks and between them in every way.
void TestChartCurve::longColumnsOverFewRowsMatch()
{
    QRandomGenerator random(407);
    int failures = 0;
    QString firstFailure;
    for (int round = 0; round < 300; ++round) {
        const int chunk = CurveDecimator::kChunkSize;
        const int count = chunk + int(random.bounded(12 * chunk));
        const int width = 3 + int(random.bounded(8));
        const int height = 2 + int(random.bounded(5));
        // Long stretches of one row make whole chunks without a stroke, or with one.
        QVector<int> rows(count);
        int row = int(random.bounded(height));
        for (int &r : rows) {
            if (random.bounded(100) < 15)
                row = int(random.bounded(height));
            r = row;
        }
        if (compareCurves(rows, width, height) != 0) {
            if (failures++ == 0)
                firstFailure = QStringLiteral("round %1 n=%2 w=%3 h=%4")
                                   .arg(round)
                                   .arg(count)
                                   .arg(width)
                                   .arg(height);
        }
    }
    QVERIFY2(failures == 0, qPrintable(firstFailure));
}

// A growing recording is thinned again after every new sample: what was summed up before must
// give the same curve as thinning all samples afresh.
void TestChartCurve::summariesFollowAppendedSamples()
{
    const QVector<int> rows = makeRows("sine", 20000, 300, 5);
    CurveDecimator growing;
    for (int count : {100, 6400, 6401, 6463, 6464, 6465, 12000, 19999, 20000}) {
        const double xStep = 500.0 / count;
        CurveDecimator fresh;
        QCOMPARE(thinWith(growing, rows, count, xStep, 3), thinWith(fresh, rows, count, xStep, 3));
    }
}

void TestChartCurve::forgottenRowsAreReadAgain()
{
    const QVector<int> before = makeRows("rising", 5000, 200, 6);
    const QVector<int> after = makeRows("falling", 5000, 200, 6);
    const double xStep = 20.0 / before.size(); // 250 samples to a column
    CurveDecimator decimator;
    thinWith(decimator, before, before.size(), xStep, 0);
    decimator.forgetRows();
    QCOMPARE(thinWith(decimator, after, after.size(), xStep, 0), thin(after, xStep, 0));
}

void TestChartCurve::denseCurveIsThinnedToFewPointsPerColumn()
{
    const QVector<int> rows = makeRows("random", 100000, 500, 1);
    const QVector<QPoint> full = samplePoints(rows, 1000.0 / rows.size(), 0);
    const QVector<QPoint> thinned = thin(rows, 1000.0 / rows.size(), 0);
    // Five points a column, and the two outer points of the curve.
    QVERIFY2(thinned.size() <= 5 * 1000 + 2, qPrintable(QString::number(thinned.size())));
    QCOMPARE(thinned.mid(0, 2), full.mid(0, 2));
    QCOMPARE(thinned.mid(thinned.size() - 2), full.mid(full.size() - 2));
}

void TestChartCurve::sparseCurveKeepsEverySample()
{
    const QVector<int> rows = makeRows("random", 50, 300, 2);
    const QVector<QPoint> full = samplePoints(rows, 1000.0 / rows.size(), 0);
    QCOMPARE(thin(rows, 1000.0 / rows.size(), 0), full);
}

void TestChartCurve::columnsKeepTheirOuterPointsAndTurns()
{
    // Four samples a column, two columns. The pen caps the ends of a polyline, so the curve's
    // first and last stroke stay as they are; the rest of each column is thinned like any other.
    const QVector<int> ends = {5, 5, 9, 1, 4, 4, 8};
    const QVector<QPoint> outer = {{0, 5}, {0, 5}, {0, 9}, {0, 1}, {1, 4}, {1, 8}};
    QCOMPARE(thin(ends, 0.25, 0), outer);
    // A middle column with a monotone run and repeats becomes its first and last point.
    const QVector<int> middle = {5, 5, 5, 5, 2, 2, 4, 7, 3, 3, 3, 3};
    const QVector<QPoint> expected = {{0, 5}, {0, 5}, {1, 2}, {1, 7}, {2, 3}, {2, 3}};
    QCOMPARE(thin(middle, 0.25, 0), expected);
    // Turns inside a middle column: first and last point around the span of the turns.
    const QVector<int> zigzag = {5, 5, 5, 5, 2, 9, 1, 6, 3, 3, 3, 3};
    const QVector<QPoint> swept = {{0, 5}, {0, 5}, {1, 2}, {1, 9}, {1, 1}, {1, 6}, {2, 3}, {2, 3}};
    QCOMPARE(thin(zigzag, 0.25, 0), swept);
}

QTEST_GUILESS_MAIN(TestChartCurve)
#include "tst_chartcurve.moc"
