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
    // The axis spans the values instead of reaching to zero.
    bool fitted = false;

    // Scale for raw values min ... max of the samples first ... last on a plot of the given size.
    // The axis always takes in zero; a range of only zeros is widened to -1 ... 1.
    static ChartScale compute(double min, double max, bool autoPrefix, const QSize &plot, int first,
                              int last);

    // Scale whose axis spans min ... max with a small margin (exact: without margin), with the
    // prefix chosen for the larger magnitude of the two ends.
    static ChartScale fit(double min, double max, bool autoPrefix, const QSize &plot, int first,
                          int last, bool exact = false);

    // Pixel row of the value 0 on the plot (outside it when a fitted axis leaves zero out).
    int zeroLine(const QRect &plot) const;
};
