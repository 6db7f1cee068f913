#pragma once

#include <QList>
#include <QString>

// One row of the SI prefix table: the factor a prefix stands for.
struct UnitPrefix
{
    double factor;
    QString prefix;
};

// The eleven prefix rows, largest factor first. "k"/"K" and " "/"" appear twice on purpose:
// the meter writes kilo in capitals and unit-less readings with or without a blank.
extern const QList<UnitPrefix> unitPrefixes;

// Factor of a prefix text (exact, case-sensitive match); 1.0 for an unknown prefix.
double prefixFactor(const QString &prefix);

// Picks the prefix row that suits |value| (the first row within [first, last] whose factor is
// not above it, moved by shift), stores the row's reciprocal factor in scale and its text in
// prefix, and returns value * scale. A zero value gives prefix " " and leaves scale alone.
double scaleToPrefix(double value, double &scale, QString &prefix, int shift, int first, int last);
