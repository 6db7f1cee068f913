#include "record/chartgrid.h"

#include <QtMath>
#include <cmath>
#include <iterator>

namespace {

constexpr double kMinXDivisionPixels = 80;
constexpr double kMinYDivisionPixels = 30;
constexpr double kStepBeyondList = 50;
// Samples per time division, and value units per line, in the order they are tried.
constexpr double kXSteps[] = {1, 2, 3, 5, 10, 20, 30, 40};
constexpr double kYSteps[] = {1e-12, 1e-11, 1e-10, 1e-9, 1e-8, 1e-7, 1e-6, 1e-5,
                              1e-4,  0.001, 0.01,  0.1,  0.2,  0.3,  0.5,  0.8,
                              1,     2,     3,     5,    10,   20,   30,   40};
// A fitted axis labels at least this many lines, each label this far from the next at least
// when the lines leave room for it (a label's height and a gap).
constexpr int kMinLabelledLines = 3;
constexpr double kMinLabelPixels = 20;
constexpr int kLabelSpacings[] = {1, 2, 5};
// A hair of tolerance keeps a line that sits on an end of the range.
constexpr double kTolerance = 1e-9;
// Line numbers stay far inside an int.
constexpr double kMaxLineNumber = 1e9;

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

template<typename Steps>
double firstStepReaching(const Steps &steps, double pixelsPerUnit, double target)
{
    for (double step : steps) {
        if (step * pixelsPerUnit >= target)
            return step;
    }
    return firstMultipleReaching(pixelsPerUnit, target);
}

// The next step of the value list below step; 0 when there is none.
double smallerYStep(double step)
{
    for (auto smaller = std::rbegin(kYSteps); smaller != std::rend(kYSteps); ++smaller) {
        if (*smaller < step)
            return *smaller;
    }
    return 0;
}

// How many multiples of every lie in first ... last.
int multiplesIn(int first, int last, int every)
{
    return int(std::floor(double(last) / every) - std::ceil(double(first) / every)) + 1;
}

} // namespace

ChartGrid ChartGrid::compute(const ChartScale &scale, const QSize &plot, bool hasSamples)
{
    ChartGrid grid;
    if (!hasSamples)
        return grid;
    // A plot squeezed below its margins has no room for divisions.
    if (isPositive(scale.xStep)) {
        grid.samplesPerDivision = int(firstStepReaching(kXSteps, scale.xStep, kMinXDivisionPixels));
        grid.xDivision = grid.samplesPerDivision * scale.xStep;
        grid.xDivisions = int(plot.width() / grid.xDivision);
    }
    if (isPositive(scale.yScale)) {
        grid.yStep = firstStepReaching(kYSteps, scale.yScale, kMinYDivisionPixels);
        grid.yDivision = scale.yScale * grid.yStep;
        if (scale.fitted) {
            grid.fitLines(scale);
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

void ChartGrid::fitLines(const ChartScale &scale)
{
    fitted = true;
    const auto placeLines = [this, &scale] {
        yDivision = scale.yScale * yStep;
        lowestLine = int(std::ceil(scale.yMin / yStep - kTolerance));
        highestLine = int(std::floor(scale.yMax / yStep + kTolerance));
    };
    placeLines();
    // The step the spacing asks for may leave a narrow range one line or two.
    const double largest = qMax(qAbs(scale.yMin), qAbs(scale.yMax));
    while (highestLine - lowestLine + 1 < kMinLabelledLines) {
        const double smaller = smallerYStep(yStep);
        if (smaller <= 0 || largest / smaller > kMaxLineNumber)
            break;
        yStep = smaller;
        placeLines();
    }
    // Three labels come first; on a plot too small for them to stand apart they crowd.
    for (const int every : kLabelSpacings) {
        if (multiplesIn(lowestLine, highestLine, every) < kMinLabelledLines)
            return;
        labelEvery = every;
        if (every * yDivision >= kMinLabelPixels)
            return;
    }
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
                          j % labelEvery == 0 ? QString::number(j * yStep, 'f', decimals) + prefix
                                              : QString()});
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
