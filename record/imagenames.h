#pragma once

#include <QString>

// The two files a pair of charts is saved into when the user chose one name.
struct ChartImageNames
{
    QString first;
    QString second;
};

// Both names lie in the chosen name's absolute directory, carry its base name (up to the first
// dot of the file name) with "_1" or "_2", and its suffix (after the last dot): "run.old.jpg"
// gives "run_1.jpg" and "run_2.jpg"; a name without a suffix gives names ending in a dot.
ChartImageNames chartImageNames(const QString &chosen);
