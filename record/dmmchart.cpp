#include "record/dmmchart.h"

DMMChart::DMMChart(QWidget *parent)
    : QFrame(parent)
{
}
