#include "meter/unitprefix.h"

#include <QtMath>
#include <algorithm>

const QList<UnitPrefix> unitPrefixes = {
    {1e12, QStringLiteral("T")},
    {1e9, QStringLiteral("G")},
    {1e6, QStringLiteral("M")},
    {1e3, QStringLiteral("k")},
    {1e3, QStringLiteral("K")},
    {1, QStringLiteral(" ")},
    {1, QString()},
    {1e-3, QStringLiteral("m")},
    {1e-6, QStringLiteral("u")},
    {1e-9, QStringLiteral("n")},
    {1e-12, QStringLiteral("p")},
};

double prefixFactor(const QString &prefix)
{
    for (const UnitPrefix &row : unitPrefixes) {
        if (row.prefix == prefix)
            return row.factor;
    }
    return 1.0;
}

double scaleToPrefix(double value, double &scale, QString &prefix, int shift, int first, int last)
{
    if (value == 0) {
        prefix = QStringLiteral(" ");
        return 0;
    }
    const int n = unitPrefixes.size();
    int i = std::max(first, 0);
    if (last == -1 || last >= n)
        last = n - 1;
    while (i <= last && i < n && qAbs(value) < unitPrefixes.at(i).factor)
        ++i;
    const int j = std::max(std::min(i + shift, n - 1), 0);
    const double factor = unitPrefixes.at(j).factor;
    scale = factor / (factor * factor);
    prefix = unitPrefixes.at(j).prefix;
    return value * scale;
}
