#include "record/chartscale.h"

#include "meter/unitprefix.h"

#include <QtMath>

namespace {
// Room left above and below the fitted values, as a share of their spread.
constexpr double kFitMargin = 0.05;
// A single value, or values all alike, get this share of their magnitude either side.
constexpr double kFlatMargin = 0.01;

double sampleStep(const QSize &plot, int first, int last)
{
    return last >= first ? double(plot.width()) / (last - first + 1) : 0;
}
} // namespace

ChartScale ChartScale::compute(double min, double max, bool autoPrefix, const QSize &plot,
                               int first, int last)
{
    ChartScale scale;
    scale.yMin = min;
    scale.yMax = max;
    if (max >= 0 && min >= 0)
        scale.span = max;
    else if (max < 0 && min < 0)
        scale.span = -min;
    else
        scale.span = max - min;
    if (scale.span == 0) {
        scale.span = 2;
        scale.yMin = -1;
        scale.yMax = 1;
    }

    scaleToPrefix(autoPrefix ? scale.span : 1.0, scale.multiplier, scale.prefix, 0, -1, -1);
    if (autoPrefix) {
        scale.yMax *= scale.multiplier;
        scale.yMin *= scale.multiplier;
        scale.span *= scale.multiplier;
    }

    scale.yScale = plot.height() / scale.span;
    scale.xStep = sampleStep(plot, first, last);
    return scale;
}

ChartScale ChartScale::fit(double min, double max, bool autoPrefix, const QSize &plot, int first,
                           int last, bool exact)
{
    ChartScale scale;
    scale.fitted = true;
    double margin = exact ? 0 : (max - min) * kFitMargin;
    if (!(max > min))
        margin = max != 0 ? qAbs(max) * kFlatMargin : 1;
    const double low = min - margin;
    const double high = max + margin;
    scaleToPrefix(autoPrefix ? qMax(qAbs(low), qAbs(high)) : 1.0, scale.multiplier, scale.prefix, 0,
                  -1, -1);
    const double m = autoPrefix ? scale.multiplier : 1.0;
    scale.yMin = low * m;
    scale.yMax = high * m;
    scale.span = scale.yMax - scale.yMin;
    scale.yScale = plot.height() / scale.span;
    scale.xStep = sampleStep(plot, first, last);
    return scale;
}

int ChartScale::zeroLine(const QRect &plot) const
{
    if (fitted)
        return int(plot.top() + yScale * yMax);
    if (yMin >= 0 && yMax >= 0)
        return plot.bottom();
    if (yMin <= 0 && yMax >= 0)
        return int(plot.top() + yScale * yMax);
    return plot.top();
}
