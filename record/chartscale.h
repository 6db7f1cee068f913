#pragma once

#include <QRect>
#include <QSize>
#include <QString>

// The value axis and sample spacing of a chart: the value range (in prefixed units), the SI
// prefix chosen for it, and how many pixels a value unit and a sample take.
struct ChartScale
{
    double yMin = 0;
    double yMax = 0;
    double span = 0;
    double multiplier = 1.0;
    QString prefix;
    double yScale = 0;
    double xStep = 0;

    // Scale for raw values min ... max of the samples first ... last on a plot of the given size.
    // The axis always takes in zero; a range of only zeros is widened to -1 ... 1.
    static ChartScale compute(double min, double max, bool autoPrefix, const QSize &plot, int first,
                              int last);

    // Pixel row of the value 0 on the plot.
    int zeroLine(const QRect &plot) const;
};
