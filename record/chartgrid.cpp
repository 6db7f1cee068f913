#include "record/chartgrid.h"

#include <QtMath>
#include <cmath>
#include <initializer_list>

namespace {

constexpr double kMinXDivisionPixels = 80;
constexpr double kMinYDivisionPixels = 30;
constexpr double kStepBeyondList = 50;

bool isPositive(double value)
{
    return std::isfinite(value) && value > 0;
}

// Smallest multiple of 50 whose product with pixelsPerUnit reaches target pixels, found without
// counting up from 50 (a long recording needs multiples in the tens of thousands).
double firstMultipleReaching(double pixelsPerUnit, double target)
{
    double k = qMax(1.0, std::ceil(target / (kStepBeyondList * pixelsPerUnit)));
    // Past 2^52 neighbouring counts are no longer distinct doubles; the estimate is as good.
    if (k > 0x1p52)
        return k * kStepBeyondList;
    while (k > 1 && (k - 1) * kStepBeyondList * pixelsPerUnit >= target)
        --k;
    while (k * kStepBeyondList * pixelsPerUnit < target)
        ++k;
    return k * kStepBeyondList;
}

double firstStepReaching(std::initializer_list<double> steps, double pixelsPerUnit, double target)
{
    for (double step : steps) {
        if (step * pixelsPerUnit >= target)
            return step;
    }
    return firstMultipleReaching(pixelsPerUnit, target);
}

} // namespace

ChartGrid ChartGrid::compute(const ChartScale &scale, const QSize &plot, bool hasSamples)
{
    ChartGrid grid;
    if (!hasSamples)
        return grid;
    // A plot squeezed below its margins has no room for divisions.
    if (isPositive(scale.xStep)) {
        grid.samplesPerDivision =
            int(firstStepReaching({1, 2, 3, 5, 10, 20, 30, 40}, scale.xStep, kMinXDivisionPixels));
        grid.xDivision = grid.samplesPerDivision * scale.xStep;
        grid.xDivisions = int(plot.width() / grid.xDivision);
    }
    if (isPositive(scale.yScale)) {
        grid.yStep = firstStepReaching({1e-12, 1e-11, 1e-10, 1e-9, 1e-8, 1e-7, 1e-6, 1e-5,
                                        1e-4,  0.001, 0.01,  0.1,  0.2,  0.3,  0.5,  0.8,
                                        1,     2,     3,     5,    10,   20,   30,   40},
                                       scale.yScale, kMinYDivisionPixels);
        grid.yDivision = scale.yScale * grid.yStep;
        if (scale.fitted) {
            // A hair of tolerance keeps a line that sits on an end of the range.
            constexpr double kTolerance = 1e-9;
            grid.fitted = true;
            grid.lowestLine = int(std::ceil(scale.yMin / grid.yStep - kTolerance));
            grid.highestLine = int(std::floor(scale.yMax / grid.yStep + kTolerance));
            return grid;
        }
        const int above = int(scale.yMax * scale.yScale / grid.yDivision);
        if (scale.yMin >= 0 && scale.yMax >= 0) {
            grid.linesAbove = above;
        } else if (scale.yMin <= 0) {
            grid.linesAbove = scale.yMax >= 0 ? above : 0;
            grid.linesBelow = int(qAbs(scale.yMin) * scale.yScale / grid.yDivision);
        }
    }
    return grid;
}

int ChartGrid::tickX(int division, int plotLeft) const
{
    return int(division * xDivision + plotLeft + 0.5);
}

QVector<ChartGrid::ValueMark> ChartGrid::valueMarks(int zeroLine, int decimals,
                                                    const QString &prefix) const
{
    QVector<ValueMark> marks;
    if (fitted) {
        const int needed = int(std::ceil(-std::log10(yStep) - 1e-9));
        decimals = qMax(decimals, needed);
        for (int j = lowestLine; j <= highestLine; ++j)
            marks.append({int(zeroLine - j * yDivision),
                          QString::number(j * yStep, 'f', decimals) + prefix});
        return marks;
    }
    marks.reserve(linesAbove + linesBelow + 2);
    for (int j = 0; j <= linesAbove; ++j)
        marks.append(
            {int(zeroLine - j * yDivision), QString::number(j * yStep, 'f', decimals) + prefix});
    for (int j = 0; j <= linesBelow; ++j)
        marks.append(
            {int(zeroLine + j * yDivision), QString::number(-(j * yStep), 'f', decimals) + prefix});
    return marks;
}
