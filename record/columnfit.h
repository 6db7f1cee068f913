#pragma once

#include <QList>
#include <QStringList>

class FunctionEntry;
class QTableView;

// The widest texts each record column can show: row numbers, a full time stamp, and the function
// names, range figures, value texts and units that the meter's function tables can produce; one
// list per column, in column order.
QList<QStringList> recordColumnTexts(const QList<const FunctionEntry *> &entries);

// Widens each column of the view, never narrowing it, to hold its header title and every text of
// its list without eliding, in the view's present font and style.
void widenColumnsToFit(QTableView *view, const QList<QStringList> &texts);
