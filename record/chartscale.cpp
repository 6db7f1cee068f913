#include "record/chartscale.h"

#include "meter/unitprefix.h"

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
    scale.xStep = last >= first ? double(plot.width()) / (last - first + 1) : 0;
    return scale;
}

int ChartScale::zeroLine(const QRect &plot) const
{
    if (yMin >= 0 && yMax >= 0)
        return plot.bottom();
    if (yMin <= 0 && yMax >= 0)
        return int(plot.top() + yScale * yMax);
    return plot.top();
}
