#include "app/widget.h"

#include "app/appname.h"
#include "app/brokerpublishing.h"
#include "app/iconned_dock_style.h"
#include "display/windowstatus.h"
#include "meter/deviceselector.h"
#include "meter/dmmdata.h"
#include "meter/linksupervisor.h"
#include "meter/mydmm.h"
#include "record/columnspec.h"
#include "record/datamodel.h"
#include "session/recordingsession.h"
#include "ui_widget.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopWidget>
#include <QIcon>
#include <QStyleFactory>

namespace {
const QString kModelName = QStringLiteral("VX310A");

constexpr QSize kInitialSize(1000, 600);
} // namespace

Widget::Widget(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui_Widget)
{
    ui->setupUi(this);
    modelName = kModelName;
    version = appVersion;
    initObj();
    initWidget();
    initSelf();
    initConnec();
    restoreSettings();
}

Widget::~Widget()
{
    link->close();
    delete ui;
    delete dataModel;
    qDeleteAll(columns);
    delete dmm;
    delete deviceSelector;
}

void Widget::initObj()
{
    // The bridges' USB identifiers, the meter's UART speed and the time-outs of the link.
    const LinkSettings settings;
    deviceSelector = new DeviceSelector();
    deviceSelector->setCh9329VID(settings.ch9329Vid);
    deviceSelector->setCh9329PID(settings.ch9329Pid);
    deviceSelector->setCp2110VID(settings.cp2110Vid);
    deviceSelector->setCp2110PID(settings.cp2110Pid);
    deviceSelector->setBaudrate(settings.baudrate);
    deviceSelector->setReadTimeout(settings.readTimeout);
    deviceSelector->setWriteTimeout(settings.writeTimeout);

    dmm = new MyDmm(deviceSelector);
    dmm->setModel(modelName);

    columns = createRecordColumns();
    dataModel = new DataModel(columns);
    setUpKeyActions();

    link = new LinkSupervisor(dmm, deviceSelector, this);
    session = new RecordingSession(dmm, dataModel, this);
    publishing = new BrokerPublishing(session, this);
}

void Widget::initConnec()
{
    for (QAction *action :
         {ui->actionConnect, ui->actionDisconnect, ui->actionOption, ui->actionClose})
        connect(action, &QAction::triggered, this, &Widget::slotAction);
    connect(dmm, &MyDmm::opened, this, &Widget::slotDmmOpened);
    connect(dmm, &MyDmm::closed, this, &Widget::slotDmmClosed);
    connect(dmm, &MyDmm::message, this, &Widget::slotMessage);
    connect(dmm, &MyDmm::display, this, &Widget::slotDmmDisplay);
    status = new WindowStatus(ui->statusBar, link, session, dmm, dataModel, this);
    connect(link, &LinkSupervisor::stateChanged, this, &Widget::followLinkState);
    connect(publishing, &BrokerPublishing::message, status, &WindowStatus::showMessage);
    setUpSession();
    setUpPause();
}

void Widget::initWidget()
{
    setUpPanel();
    setUpRecordTable();
    setUpCharts();

    // The B variants of the meter have no peak keys.
    const bool hasPeakKeys = !kModelName.contains(QLatin1Char('B'));
    ui->actionPeak->setVisible(hasPeakKeys);
    ui->actionExitPeak->setVisible(hasPeakKeys);
}

void Widget::initSelf()
{
    setWindowIcon(QIcon(QStringLiteral(":image/app2.ico")));
    resize(kInitialSize);
    const QWidget *desktop = QApplication::desktop();
    move((desktop->width() - width()) / 2, (desktop->height() - height()) / 2);

    delete takeCentralWidget();
    setDockNestingEnabled(true);

    // Pushes Options, Manual and Close to the right end of the toolbar.
    auto *spacer = new QWidget();
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    ui->mainToolBar->insertWidget(ui->actionOption, spacer);

    addDockIcons();
    setUpMenus();
}

void Widget::addDockIcons()
{
    const std::pair<QDockWidget *, QString> docks[] = {
        {ui->dwLCD, QStringLiteral(":/image/number.png")},
        {ui->dwRecord, QStringLiteral(":/image/text.png")},
        {ui->dwChart, QStringLiteral(":/image/quxian.png")},
    };
    for (const auto &[dock, iconPath] : docks) {
        // A proxy style takes over its base style, so each dock wraps a fresh instance of the
        // style it has now rather than the application's shared one. The window owns the
        // styles; its docks are destroyed before them.
        QStyle *base = QStyleFactory::create(dock->style()->objectName());
        auto *style = new iconned_dock_style(QIcon(iconPath), base);
        style->setParent(this);
        dock->setStyle(style);
    }
}

void Widget::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    // Un-minimising shows the window again; by then the user may have rearranged it, and the
    // layout of the last close would undo that.
    if (!layoutRestored) {
        layoutRestored = true;
        restoreUI();
        // By now the device is set, which the default meter name is made of.
        publishing->start(deviceSelector->device());
    }
    const bool named = !appName.isEmpty() && !version.isEmpty();
    setWindowTitle(
        QStringLiteral("%1 %2%3 ").arg(appName, named ? QStringLiteral("v") : QString(), version));
    QApplication::setApplicationName(appName);
    QApplication::setApplicationDisplayName(appName);
    // The device is named on the command line after the window was built.
    status->showLink();
}

void Widget::closeEvent(QCloseEvent *event)
{
    link->close();
    saveSettings();
    publishing->stop();
    // A clean close: the running recording's journal is complete.
    session->finish();
    QMainWindow::closeEvent(event);
}

void Widget::slotAction()
{
    auto *action = qobject_cast<QAction *>(sender());
    if (!action)
        return;
    if (action == ui->actionConnect) {
        connectMeter();
    } else if (action == ui->actionDisconnect) {
        link->close();
    } else if (action == ui->actionOption) {
        runOptionDialog();
    } else if (action == ui->actionClose) {
        close();
    }
}

void Widget::slotUSBRefreshed(int cnt)
{
    // Bridges coming and going are not shown anywhere.
    Q_UNUSED(cnt)
}

void Widget::slotMessage(QString msg)
{
    status->showMessage(msg);
}
