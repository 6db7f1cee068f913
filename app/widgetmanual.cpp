// The window's Manual and Test actions, and documents opened in the desktop's viewer.

#include "app/shippedfiles.h"
#include "app/widget.h"
#include "meter/mydmm.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>

void Widget::on_actionManual_triggered()
{
    // A manual in the working directory comes first, then the one beside the program, then the
    // installed one. The program keeps no state about the opened document.
    openDocument(manualFilePath());
}

void Widget::openDocument(const QString &fileName)
{
    // The desktop starts its opener whether or not the file exists, and the opener fails
    // unseen; only a missing opener is reported back.
    QString reason;
    if (!QFileInfo(fileName).isFile())
        reason = tr("The file does not exist.");
    else if (!QDesktopServices::openUrl(QUrl::fromLocalFile(fileName)))
        reason = tr("No program to open it was found.");
    else
        return;
    reportFileFailure(QMessageBox::Warning, tr("Can not open file."),
                      {QDir::toNativeSeparators(fileName), reason});
}

void Widget::on_actionTest_triggered()
{
    // Lets the command thread go on as if the pending command had been answered.
    dmm->notifyReply();
}
