// The window's Manual and Test actions.

#include "app/widget.h"
#include "meter/mydmm.h"

#include <QDesktopServices>
#include <QDir>
#include <QUrl>

namespace {
// The manual lies in the directory the program is started from, not beside the executable.
const QString kManualFile = QStringLiteral("Software User Manual.pdf");
} // namespace

void Widget::on_actionManual_triggered()
{
    // The desktop's viewer reports a missing manual itself; the program keeps no state about it.
    QDesktopServices::openUrl(QUrl::fromLocalFile(QDir::current().absoluteFilePath(kManualFile)));
}

void Widget::on_actionTest_triggered()
{
    // Lets the command thread go on as if the pending command had been answered.
    dmm->notifyReply();
}
