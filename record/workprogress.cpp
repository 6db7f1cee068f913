#include "record/workprogress.h"

#include <QCoreApplication>
#include <QProgressDialog>

namespace {
constexpr int kProgressDelayMs = 500;
} // namespace

QProgressDialog *newWorkProgress(const QString &label, int maximum, QWidget *window)
{
    auto *progress = new QProgressDialog(label, QCoreApplication::translate("Widget", "Cancel"), 0,
                                         maximum, window);
    progress->setWindowModality(Qt::WindowModal);
    progress->setMinimumDuration(kProgressDelayMs);
    progress->setAutoReset(false);
    return progress;
}
