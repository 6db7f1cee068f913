#pragma once

#include "record/chartscale.h"

#include <QString>
#include <QVector>

// Divisions of the time axis and lines of the value axis for a chart scale.
struct ChartGrid
{
    // One value-axis grid line: its pixel row and its label.
    struct ValueMark
    {
        int y;
        QString text;
    };

    int samplesPerDivision = 0;
    double xDivision = 0;
    int xDivisions = 0;
    double yStep = 0;
    double yDivision = 0;
    int linesAbove = 0;
    int linesBelow = 0;
    // On a fitted axis the lines are the multiples lowestLine ... highestLine of the y step
    // inside the value range, and the labels carry as many decimals as the step needs. At least
    // three of them are labelled: a narrow range takes a smaller step of the list, and where its
    // lines lie too close for a label each, only the multiples of labelEvery are labelled.
    bool fitted = false;
    int lowestLine = 0;
    int highestLine = -1;
    int labelEvery = 1;

    // Grid for the scale on a plot of the given size; all counts stay 0 without samples.
    static ChartGrid compute(const ChartScale &scale, const QSize &plot, bool hasSamples);

    // Column of time division i.
    int tickX(int division, int plotLeft) const;

    // The grid lines above zero (from zero up) and then those below zero (from zero down); both
    // lists start with the zero line itself. On a fitted axis, the lines from the lowest up, with
    // an empty text where a line is not labelled.
    QVector<ValueMark> valueMarks(int zeroLine, int decimals, const QString &prefix) const;

private:
    void fitLines(const ChartScale &scale);
};
