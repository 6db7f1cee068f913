#pragma once

#include <QString>

class QProgressDialog;
class QWidget;

// The progress dialog of work that runs beside the window (export, import): modal to the window,
// shown only when the work takes longer than half a second, and kept at its end until the
// caller is done with it. The caller owns it.
QProgressDialog *newWorkProgress(const QString &label, int maximum, QWidget *window);
