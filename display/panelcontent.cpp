#include "display/panelcontent.h"

#include "meter/dmmdata.h"
#include "meter/functionentry.h"

namespace {

PanelContent::Icon iconFor(quint8 function)
{
    switch (function) {
    case functions::kContinuity:
        return PanelContent::Icon::ShortCircuit;
    case functions::kDiode:
        return PanelContent::Icon::Diode;
    default:
        return PanelContent::Icon::None;
    }
}

// The meter's own display shows no AUTO for continuity, diode and NCV.
bool hasAutoRange(quint8 function)
{
    return function != functions::kContinuity && function != functions::kDiode &&
           function != functions::kNcv;
}

} // namespace

PanelContent PanelContent::of(const DmmData &reading)
{
    // A reading without table row is treated as one of an ordinary function.
    const quint8 function = reading.entry() ? functionCode(reading.entry()) : 0;
    PanelContent panel;
    panel.valueText = reading.valueText();
    panel.unitText = reading.unitText();
    panel.functionName = reading.functionName();
    panel.holdText = reading.hold() ? QStringLiteral("H") : QString();
    // The max/min text is shown as sent, but blanks alone do not hide the peak text.
    panel.extremeText =
        reading.maxMinText().trimmed().isEmpty() ? reading.peakText() : reading.maxMinText();
    panel.relativeText = reading.relative() ? QStringLiteral("Rel") : QString();
    panel.icon = iconFor(function);
    panel.autoRangeText =
        !reading.manualRange() && hasAutoRange(function) ? QStringLiteral("AUTO") : QString();
    panel.lowBattery = reading.lowBattery();
    panel.couplingText = reading.couplingText();
    return panel;
}

QString PanelContent::iconPath(Icon icon)
{
    switch (icon) {
    case Icon::ShortCircuit:
        return QStringLiteral(":/image/sc.png");
    case Icon::Diode:
        return QStringLiteral(":/image/diode2.png");
    case Icon::None:
        break;
    }
    return QString();
}
