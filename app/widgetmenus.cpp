// The window's menu bar beyond the form: the View menu, keyboard shortcuts and the About box.

#include "app/appname.h"
#include "app/widget.h"
#include "ui_widget.h"

#include <QAction>
#include <QDockWidget>
#include <QKeySequence>
#include <QMessageBox>
#include <QToolBar>

namespace {

QList<QKeySequence> standardKeys(std::initializer_list<QKeySequence::StandardKey> keys)
{
    QList<QKeySequence> sequences;
    for (const QKeySequence::StandardKey key : keys)
        sequences += QKeySequence::keyBindings(key);
    return sequences;
}

} // namespace

void Widget::setUpMenus()
{
    // The docks and toolbars the user closed come back through the toggles Qt gives them.
    for (QDockWidget *dock : {ui->dwLCD, ui->dwRecord, ui->dwChart})
        ui->menuView->addAction(dock->toggleViewAction());
    ui->menuView->addSeparator();
    for (QToolBar *bar : {ui->mainToolBar, ui->CommandToolBar})
        ui->menuView->addAction(bar->toggleViewAction());

    // The desktop's own keys where it has them; ours for connecting and exporting. The meter's
    // keys get none: a stray key press would change what the meter measures.
    const std::pair<QAction *, QList<QKeySequence>> shortcuts[] = {
        {ui->actionConnect, {QKeySequence(Qt::CTRL + Qt::Key_K)}},
        {ui->actionDisconnect, {QKeySequence(Qt::CTRL + Qt::SHIFT + Qt::Key_K)}},
        {ui->actionExport, {QKeySequence(Qt::CTRL + Qt::Key_E)}},
        {ui->actionImport, standardKeys({QKeySequence::Open})},
        {ui->actionPrint, standardKeys({QKeySequence::Print})},
        {ui->actionSaveImage, standardKeys({QKeySequence::Save})},
        {ui->actionOption, standardKeys({QKeySequence::Preferences})},
        {ui->actionClose, standardKeys({QKeySequence::Close, QKeySequence::Quit})},
        {ui->actionManual, standardKeys({QKeySequence::HelpContents})},
    };
    for (const auto &[action, keys] : shortcuts) {
        action->setShortcuts(keys);
        if (!keys.isEmpty())
            action->setToolTip(QStringLiteral("%1 (%2)").arg(
                action->toolTip(), keys.constFirst().toString(QKeySequence::NativeText)));
    }
    connect(ui->actionAbout, &QAction::triggered, this, &Widget::showAbout);
}

void Widget::showAbout()
{
    // What the program links, each under the licence we take it under (hidapi and libmosquitto
    // offer more than one).
    const QStringList libraries{
        QStringLiteral("Qt %1: GNU LGPL version 3 (LGPL-3.0)").arg(QLatin1String(qVersion())),
        QStringLiteral("hidapi: BSD licence (BSD-3-Clause)"),
        QStringLiteral("libmosquitto: Eclipse Distribution License 1.0 (EDL-1.0, which is "
                       "BSD-3-Clause)"),
        QStringLiteral("OpenSSL: Apache License 2.0 (Apache-2.0)"),
    };
    const QString licence =
        tr("%1 is free software under the GNU General Public License, version 3 or any later "
           "version (GPL-3.0-or-later), and comes with no warranty.")
            .arg(appName);
    const QString text =
        QStringLiteral("<h3>%1 %2</h3><p>%3</p><p>%4</p><p>%5</p><p>%6<br>%7</p>")
            .arg(appName, version, tr("Companion program for the %1 multimeter.").arg(modelName),
                 tr("Built with Qt %1, running with Qt %2.")
                     .arg(QLatin1String(QT_VERSION_STR), QLatin1String(qVersion())),
                 licence, tr("It uses these libraries under their licences:"),
                 libraries.join(QStringLiteral("<br>")));
    QMessageBox::about(this, tr("About %1").arg(appName), text);
}
