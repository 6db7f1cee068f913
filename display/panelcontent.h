#pragma once

#include <QString>

class DmmData;

// What the reading panel shows for one reading: the texts of its labels, which icon stands
// beside the value and whether the low-battery icon is up.
struct PanelContent
{
    enum class Icon
    {
        None,
        ShortCircuit,
        Diode
    };

    QString valueText;
    QString unitText;
    QString functionName;
    QString holdText;
    QString extremeText; // max/min, or else peak
    QString relativeText;
    Icon icon = Icon::None;
    QString autoRangeText;
    bool lowBattery = false;
    QString couplingText;

    static PanelContent of(const DmmData &reading);
    // The icon's picture in the bundle; empty for none.
    static QString iconPath(Icon icon);
};
