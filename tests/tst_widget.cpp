#include "app/appname.h"
#include "app/iconned_dock_style.h"
#include "app/resourcebundle.h"
#include "app/widget.h"
#include "meter/deviceselector.h"
#include "meter/linkbackend.h"
#include "record/dmmchart.h"
#include "tests/modalboxes.h"

#include <QAction>
#include <QApplication>
#include <QDesktopWidget>
#include <QDir>
#include <QDockWidget>
#include <QGridLayout>
#include <QHeaderView>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QStatusBar>
#include <QStyleFactory>
#include <QStyleOptionDockWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <QtTest>
#include <memory>

namespace {

// A link that opens at once and reports its state like a real one.
class FakeLink : public LinkBackend
{
public:
    bool open() override
    {
        m_open = true;
        emit opened();
        return true;
    }
    void close() override
    {
        if (!m_open)
            return;
        m_open = false;
        emit closed();
    }
    bool isOpen() const override { return m_open; }
    void write(const QByteArray &) override {}

private:
    bool m_open = false;
};

// Stands in for the style a dock wraps: a fixed toolbar icon size, and a record of what it is
// asked to draw instead of drawing.
class RecordingStyle : public QProxyStyle
{
public:
    RecordingStyle()
        : QProxyStyle(QStyleFactory::create(QStringLiteral("fusion")))
    {
    }
    int pixelMetric(PixelMetric metric, const QStyleOption *option,
                    const QWidget *widget) const override
    {
        return metric == PM_ToolBarIconSize ? 20 : QProxyStyle::pixelMetric(metric, option, widget);
    }
    void drawControl(ControlElement element, const QStyleOption *option, QPainter *,
                     const QWidget *) const override
    {
        drawn.append({element, option->rect});
    }
    mutable QVector<QPair<ControlElement, QRect>> drawn;
};

QIcon solidIcon(const QColor &color)
{
    QPixmap pixmap(32, 32);
    pixmap.fill(color);
    return QIcon(pixmap);
}

QImage iconImage(const QIcon &icon)
{
    return icon.pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
}

} // namespace

class TestWidget : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void startsDisconnectedWithoutCentralWidget();
    void titleIsSetOnEveryShow();
    void windowIsSizedCentredAndIconned();
    void menuAndStatusBarStayEmpty();

    void toolbarsHoldTheirActionsInOrder_data();
    void toolbarsHoldTheirActionsInOrder();
    void toolbarsAreConfigured();
    void spacerPushesLastButtonsRight();
    void actionsFollowTheTable_data();
    void actionsFollowTheTable();
    void peakKeysAreShownForThisModel();

    void docksAreArranged();
    void chartDockStacksToolbarAndCharts();
    void recordTableIsPrepared();
    void panelWidgetsAreEmptyAndFormatted();
    void panelGridPlacesItsCells_data();
    void panelGridPlacesItsCells();

    void everyBundleImageLoads();
    void windowIconHoldsThreeSizes();

    void docksDrawTheirOwnIcons();
    void dockTitleTextMovesRightOfIcon();
    void otherControlsPassUnchanged();

    void failedConnectShowsMessageOncePerPress();
    void connectOpensTheLinkQuietly();
    void disconnectClosesTheLink();
    void closingTheWindowClosesTheLink();

private:
    template<typename T> T *child(const char *name) const
    {
        return m_window->findChild<T *>(QLatin1String(name));
    }
    QAction *action(const char *name) const { return child<QAction>(name); }
    std::shared_ptr<QPointer<FakeLink>> useFakeLinks();

    std::unique_ptr<Widget> m_window;
    QTemporaryDir m_settingsDir;
};

void TestWidget::initTestCase()
{
    registerResources();
    QVERIFY(m_settingsDir.isValid());
    qputenv("KLM704_SETTINGS_FILE",
            m_settingsDir.filePath(QStringLiteral("options.xml")).toLocal8Bit());
}

void TestWidget::init()
{
    // Every case starts as on a first run: no settings saved by the case before.
    QFile::remove(m_settingsDir.filePath(QStringLiteral("options.xml")));
    m_window = std::make_unique<Widget>();
}

void TestWidget::cleanup()
{
    m_window.reset();
}

std::shared_ptr<QPointer<FakeLink>> TestWidget::useFakeLinks()
{
    // The device selector owns each link it makes; the test only watches the latest one.
    auto latest = std::make_shared<QPointer<FakeLink>>();
    m_window->deviceLink()->setLinkFactory(
        [latest](const QString &, const LinkSettings &, QString *) -> LinkBackend * {
            auto *link = new FakeLink;
            *latest = link;
            return link;
        });
    return latest;
}

void TestWidget::startsDisconnectedWithoutCentralWidget()
{
    QVERIFY(action("actionConnect")->isEnabled());
    QVERIFY(!action("actionDisconnect")->isEnabled());
    QVERIFY(!m_window->centralWidget());
    QVERIFY(!child<QWidget>("centralWidget"));
    QVERIFY(m_window->isDockNestingEnabled());
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QVERIFY(child<DMMChart>("chart")->isVisible());
    QVERIFY(!child<DMMChart>("chart2")->isVisible());
    QCOMPARE(m_window->deviceLink()->device(), QStringLiteral("auto"));
    QVERIFY(!m_window->deviceLink()->isActived());
}

void TestWidget::titleIsSetOnEveryShow()
{
    QVERIFY(m_window->windowTitle().isEmpty());
    m_window->show();
    QCOMPARE(m_window->windowTitle(), QStringLiteral("KLM-704 v2.02 "));
    QCOMPARE(QApplication::applicationName(), appName);
    QCOMPARE(QApplication::applicationDisplayName(), appName);

    m_window->setWindowTitle(QStringLiteral("changed"));
    m_window->hide();
    m_window->show();
    QCOMPARE(m_window->windowTitle(), QStringLiteral("KLM-704 v2.02 "));
}

void TestWidget::windowIsSizedCentredAndIconned()
{
    QCOMPARE(m_window->size(), QSize(1000, 600));
    const QWidget *desktop = QApplication::desktop();
    // Integer halves truncate toward zero, also when the desktop is smaller than the window.
    QCOMPARE(m_window->pos(), QPoint((desktop->width() - 1000) / 2, (desktop->height() - 600) / 2));
    QVERIFY(!m_window->windowIcon().isNull());
}

void TestWidget::menuAndStatusBarStayEmpty()
{
    m_window->show();
    QVERIFY(m_window->menuBar()->actions().isEmpty());
    QCOMPARE(m_window->menuBar()->objectName(), QStringLiteral("menuBar"));
    QCOMPARE(m_window->statusBar()->objectName(), QStringLiteral("statusBar"));
    QVERIFY(m_window->statusBar()->currentMessage().isEmpty());
}

void TestWidget::toolbarsHoldTheirActionsInOrder_data()
{
    QTest::addColumn<QString>("toolbar");
    QTest::addColumn<QStringList>("actions");
    // An empty name stands for the spacer widget.
    QTest::newRow("main") << "mainToolBar"
                          << QStringList{"actionConnect", "actionDisconnect", "",
                                         "actionOption",  "actionManual",     "actionClose"};
    QTest::newRow("meter keys") << "CommandToolBar"
                                << QStringList{
                                       "actionSelect", "actionRangeManual", "actionRangeAuto",
                                       "actionRel",    "actionHz",          "actionHold",
                                       "actionLight",  "actionPeak",        "actionExitPeak",
                                       "actionMaxMin", "actionExitMaxMin"};
    QTest::newRow("chart") << "tbChart" << QStringList{"actionDelete", "actionSaveImage"};
    QTest::newRow("record") << "tbRecord"
                            << QStringList{"actionDelete", "actionPrint", "actionExport"};
}

void TestWidget::toolbarsHoldTheirActionsInOrder()
{
    QFETCH(QString, toolbar);
    QFETCH(QStringList, actions);
    auto *bar = m_window->findChild<QToolBar *>(toolbar);
    QVERIFY(bar);
    QStringList names;
    for (const QAction *action : bar->actions())
        names << action->objectName();
    QCOMPARE(names, actions);
}

void TestWidget::toolbarsAreConfigured()
{
    for (const char *name : {"mainToolBar", "CommandToolBar"}) {
        auto *bar = child<QToolBar>(name);
        QCOMPARE(m_window->toolBarArea(bar), Qt::TopToolBarArea);
        QCOMPARE(bar->iconSize(), QSize(16, 16));
        QCOMPARE(bar->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
        QVERIFY(bar->isFloatable());
        QCOMPARE(bar->contextMenuPolicy(), Qt::DefaultContextMenu);
    }
    QCOMPARE(child<QToolBar>("mainToolBar")->windowTitle(), QStringLiteral("Toolbar"));
    QCOMPARE(child<QToolBar>("CommandToolBar")->windowTitle(), QStringLiteral("Command"));
    QVERIFY(!m_window->toolBarBreak(child<QToolBar>("mainToolBar")));
    QVERIFY(m_window->toolBarBreak(child<QToolBar>("CommandToolBar")));

    for (const char *name : {"tbChart", "tbRecord"}) {
        auto *bar = child<QToolBar>(name);
        QVERIFY(!bar->isMovable());
        QVERIFY(!bar->isFloatable());
        QCOMPARE(bar->iconSize(), QSize(32, 16));
        QCOMPARE(bar->toolButtonStyle(), Qt::ToolButtonIconOnly);
    }
}

void TestWidget::spacerPushesLastButtonsRight()
{
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    auto *bar = child<QToolBar>("mainToolBar");
    QWidget *spacer = bar->widgetForAction(bar->actions().at(2));
    QVERIFY(spacer);
    QCOMPARE(spacer->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(spacer->sizePolicy().verticalPolicy(), QSizePolicy::Expanding);
    const QWidget *closeButton = bar->widgetForAction(action("actionClose"));
    QVERIFY2(closeButton->geometry().right() > bar->width() - 60, "Close sits at the right end");
    QVERIFY(spacer->width() > bar->width() / 2);
}

void TestWidget::actionsFollowTheTable_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("toolTip");
    QTest::addColumn<QString>("icon");
    QTest::addColumn<bool>("checkable");
    QTest::addColumn<bool>("enabled");

    // An empty tooltip means none was set, so the text serves as one.
    const auto row = [](const char *name, const char *text, const char *toolTip, const char *icon,
                        bool checkable = false, bool enabled = true) {
        QTest::newRow(name) << QString(name) << QString(text) << QString(*toolTip ? toolTip : text)
                            << QString(icon) << checkable << enabled;
    };
    row("actionConnect", "Connect", "", "connect.png");
    row("actionDisconnect", "Disconnect", "", "disconnect.png", false, false);
    row("actionOption", "Options", "Options", "options.png");
    row("actionClose", "Close", "", "exit.png");
    row("actionLCD", "LCD", "", "number.png", true);
    row("actionRecord", "Record", "", "", true);
    row("actionChart", "Chart", "", "chart.png", true);
    row("actionAbout", "About", "About", "about.png");
    row("actionDocumentation", "Documentation", "", "documentation.png");
    row("actionDelete", "Delete", "", "delete.png");
    row("actionPrint", "Print", "", "print.png");
    row("actionExport", "Export", "", "save.png");
    row("actionStart", "Start", "", "play.png");
    row("actionStop", "Stop", "", "stop.png");
    row("actionManual", "Manual", "", "help.png");
    row("actionSaveImage", "Save", "", "picture.png");
    row("actionImport", "Import", "", "import.png");
    row("actionTest", "Test", "", "palette.png");
    row("actionTest1", "Test1", "", "");
    row("actionTest2", "Test2", "", "");
    row("actionRangeManual", "Manual", "", "manual.png");
    row("actionRangeAuto", "Auto", "", "auto.png");
    row("actionRel", "Rel", "Rel", "rel.png");
    row("actionHz", "Hz %", "", "freq.png");
    row("actionHold", "Hold", "", "hold.png");
    row("actionLight", "Light", "", "light.png");
    row("actionPeak", "PEAK Max/Min\n", "", "peak.png");
    row("actionExitPeak", "Exit PEAK Max/Min\n", "", "exit2.png");
    row("actionMaxMin", "Max/Min", "", "max.png");
    row("actionExitMaxMin", "Exit Max /Min\n", "", "exit3.png");
    row("actionSelect", "Select", "", "select.png");
}

void TestWidget::actionsFollowTheTable()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QString, toolTip);
    QFETCH(QString, icon);
    QFETCH(bool, checkable);
    QFETCH(bool, enabled);
    QAction *a = m_window->findChild<QAction *>(name);
    QVERIFY(a);
    QCOMPARE(a->parent(), m_window.get());
    QCOMPARE(a->text(), text);
    QCOMPARE(a->toolTip(), toolTip.trimmed());
    QCOMPARE(a->isCheckable(), checkable);
    QCOMPARE(a->isEnabled(), enabled);
    QVERIFY(a->shortcut().isEmpty());
    if (icon.isEmpty()) {
        QVERIFY(a->icon().isNull());
    } else {
        const QImage expected = iconImage(QIcon(QStringLiteral(":/image/") + icon));
        QVERIFY(!expected.isNull());
        QCOMPARE(iconImage(a->icon()), expected);
    }
}

void TestWidget::peakKeysAreShownForThisModel()
{
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    auto *bar = child<QToolBar>("CommandToolBar");
    for (const char *name : {"actionPeak", "actionExitPeak"}) {
        QVERIFY(action(name)->isVisible());
        QVERIFY(bar->widgetForAction(action(name))->isVisible());
    }
}

void TestWidget::docksAreArranged()
{
    auto *chart = child<QDockWidget>("dwChart");
    auto *lcd = child<QDockWidget>("dwLCD");
    auto *record = child<QDockWidget>("dwRecord");
    QCOMPARE(m_window->dockWidgetArea(chart), Qt::RightDockWidgetArea);
    QCOMPARE(m_window->dockWidgetArea(lcd), Qt::LeftDockWidgetArea);
    QCOMPARE(m_window->dockWidgetArea(record), Qt::LeftDockWidgetArea);
    QCOMPARE(chart->windowTitle(), QStringLiteral("Chart"));
    QCOMPARE(lcd->windowTitle(), QStringLiteral("LCD"));
    QCOMPARE(record->windowTitle(), QStringLiteral("Record"));
    QCOMPARE(lcd->minimumSize(), QSize(450, 199));
    QCOMPARE(lcd->contextMenuPolicy(), Qt::NoContextMenu);
    QCOMPARE(iconImage(lcd->windowIcon()), iconImage(QIcon(QStringLiteral(":/image/number.png"))));
    QCOMPARE(chart->sizePolicy().horizontalPolicy(), QSizePolicy::Preferred);
    QCOMPARE(chart->sizePolicy().verticalPolicy(), QSizePolicy::Preferred);

    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    // The record dock sits below the LCD dock, the chart dock to their right.
    QCOMPARE(record->x(), lcd->x());
    QVERIFY(record->y() > lcd->y());
    QVERIFY(chart->x() > lcd->x() + lcd->width() - 1);
}

void TestWidget::chartDockStacksToolbarAndCharts()
{
    auto *layout = child<QVBoxLayout>("verticalLayout_2");
    QVERIFY(layout);
    QCOMPARE(layout->spacing(), 1);
    QCOMPARE(layout->count(), 3);
    QCOMPARE(layout->itemAt(0)->widget(), child<QToolBar>("tbChart"));
    QCOMPARE(layout->itemAt(1)->widget(), child<DMMChart>("chart"));
    QCOMPARE(layout->itemAt(2)->widget(), child<DMMChart>("chart2"));
    auto *grid = child<QGridLayout>("gridLayout_2");
    QCOMPARE(grid->spacing(), 6);
    QCOMPARE(grid->contentsMargins(), QMargins(11, 11, 11, 11));
    QCOMPARE(child<QWidget>("dockWidgetContents_2")->layout(), grid);
    // The form raises the charts' frames; the window set-up makes them plain.
    for (const char *name : {"chart", "chart2"}) {
        QCOMPARE(child<DMMChart>(name)->frameShape(), QFrame::StyledPanel);
        QCOMPARE(child<DMMChart>(name)->frameShadow(), QFrame::Plain);
    }
}

void TestWidget::recordTableIsPrepared()
{
    auto *tv = child<QTableView>("tv");
    QCOMPARE(tv->horizontalHeader()->defaultAlignment(), Qt::AlignCenter);
    QVERIFY(!tv->horizontalHeader()->sectionsClickable());
    QCOMPARE(tv->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(tv->minimumWidth(), 400);
    QCOMPARE(tv->sizePolicy().horizontalPolicy(), QSizePolicy::Minimum);
    QCOMPARE(tv->sizePolicy().verticalPolicy(), QSizePolicy::Preferred);
    auto *layout = child<QVBoxLayout>("verticalLayout");
    QCOMPARE(layout->spacing(), 1);
    QCOMPARE(layout->itemAt(0)->widget(), child<QToolBar>("tbRecord"));
    QCOMPARE(layout->itemAt(1)->widget(), tv);
    QCOMPARE(child<QWidget>("dockWidgetContents_4")->layout(), child<QGridLayout>("gridLayout_3"));
}

void TestWidget::panelWidgetsAreEmptyAndFormatted()
{
    auto *contents = child<QWidget>("dockWidgetContents_3");
    QCOMPARE(contents->minimumSize(), QSize(450, 180));
    QCOMPARE(contents->maximumSize(), QSize(450, 200));
    QCOMPARE(contents->sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
    QCOMPARE(contents->sizePolicy().verticalPolicy(), QSizePolicy::Fixed);

    const QList<QLabel *> labels = contents->findChildren<QLabel *>();
    QCOMPARE(labels.size(), 16);
    for (const QLabel *label : labels)
        QVERIFY2(label->text().isEmpty(), qPrintable(label->objectName()));

    auto *primary = child<QLineEdit>("lcdPrimary");
    QVERIFY(primary->text().isEmpty());
    QCOMPARE(primary->font().pointSize(), 33);
    QVERIFY(primary->font().bold());
    QVERIFY(primary->isReadOnly());
    QVERIFY(primary->hasFrame());
    QCOMPARE(primary->alignment(), Qt::AlignCenter);
    QCOMPARE(primary->minimumSize(), QSize(200, 50));
    QCOMPARE(primary->maximumWidth(), 230);
    QCOMPARE(primary->layoutDirection(), Qt::LeftToRight);

    for (const char *name : {"lcdLeftFlag2", "lcdLeftFlag4"})
        QVERIFY(child<QLabel>(name)->font().bold());
    for (const char *name : {"lcdLeftFlag1", "lcdLeftFlag3"})
        QVERIFY(!child<QLabel>(name)->font().bold());
    for (const char *name : {"lcdLeftFlag1", "lcdLeftFlag2", "lcdLeftFlag3", "lcdLeftFlag4"})
        QCOMPARE(child<QLabel>(name)->alignment(), Qt::AlignLeft | Qt::AlignVCenter);
    for (const char *name : {"lblUnit", "label"}) {
        QCOMPARE(child<QLabel>(name)->minimumWidth(), 60);
        QCOMPARE(child<QLabel>(name)->sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
    }
}

void TestWidget::panelGridPlacesItsCells_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<QStringList>("widgets");
    QTest::newRow("top flags") << 0 << 1
                               << QStringList{"lcdFlagTop1", "lcdFlagTop2", "lcdFlagTop3"};
    QTest::newRow("function and hold") << 1 << 0 << QStringList{"lcdLeftFlag1", "lcdLeftFlag2"};
    QTest::newRow("value") << 1 << 1 << QStringList{"lcdPrimary"};
    QTest::newRow("units") << 1 << 2 << QStringList{"lcdUnit1", "lcdUnit2"};
    QTest::newRow("bottom flags") << 2 << 1
                                  << QStringList{"lcdFlagBottom1", "lcdFlagBottom2",
                                                 "lcdFlagBottom3", "lcdFlagBottom4",
                                                 "lcdFlagBottom5"};
    QTest::newRow("spare unit") << 2 << 2 << QStringList{"lblUnit"};
}

// The panel widgets held in a grid cell, in layout order, however deeply nested.
static void collectWidgets(QLayoutItem *item, QStringList &names)
{
    if (QWidget *widget = item->widget()) {
        names << widget->objectName();
    } else if (QLayout *layout = item->layout()) {
        for (int i = 0; i < layout->count(); ++i)
            collectWidgets(layout->itemAt(i), names);
    }
}

void TestWidget::panelGridPlacesItsCells()
{
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(QStringList, widgets);
    auto *grid = child<QGridLayout>("gridLayout_5");
    QVERIFY(grid);
    QStringList names;
    collectWidgets(grid->itemAtPosition(row, column), names);
    QCOMPARE(names, widgets);
}

void TestWidget::everyBundleImageLoads()
{
    const QStringList expected{
        "line.png",      "print.png",    "exit2.png",      "exit3.png",         "list.png",
        "live.png",      "active.png",   "play.png",       "max.png",           "new.png",
        "deleteAll.png", "function.png", "pcdownload.png", "hold.png",          "close.png",
        "import.png",    "export.png",   "xudianchi.png",  "options.png",       "about.png",
        "app2.ico",      "sc.png",       "image.png",      "rename.png",        "SDCard.png",
        "chart.png",     "rel.png",      "freq.png",       "save.png",          "number.png",
        "table.png",     "rom.png",      "eraser.png",     "circle.png",        "icon.png",
        "cursor.png",    "list2.png",    "diode2.png",     "disconnect.png",    "item.png",
        "arrow-2.png",   "dir.png",      "palette.png",    "stop.png",          "dot.png",
        "manual.png",    "connect.png",  "peak.png",       "documentation.png", "calculate.png",
        "select.png",    "help.png",     "measure.png",    "picture.png",       "delete.png",
        "auto.png",      "text.png",     "VIEW.png",       "light.png",         "exit.png",
        "rectangle.png", "quxian.png"};
    QStringList sortedExpected = expected;
    sortedExpected.sort();
    QStringList present = QDir(QStringLiteral(":/image")).entryList();
    present.sort();
    QCOMPARE(present, sortedExpected);

    for (const QString &name : expected) {
        const QImage image =
            QImage(QStringLiteral(":/image/") + name).convertToFormat(QImage::Format_ARGB32);
        QVERIFY2(!image.isNull(), qPrintable(name));
        // Every image draws something: a fair share of visible pixels in more than one colour.
        int visible = 0;
        QSet<QRgb> colours;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qAlpha(image.pixel(x, y)) > 128) {
                    ++visible;
                    colours.insert(image.pixel(x, y));
                }
        QVERIFY2(visible >= image.width() * image.height() / 40, qPrintable(name));
        QVERIFY2(colours.size() > 1 || name == QLatin1String("dot.png"), qPrintable(name));
    }
    // The panel shows these at 16×16 without smoothing, so they are drawn at that size.
    for (const char *name : {"xudianchi.png", "sc.png", "diode2.png"})
        QCOMPARE(QImage(QStringLiteral(":/image/") + name).size(), QSize(16, 16));
}

void TestWidget::windowIconHoldsThreeSizes()
{
    QImageReader reader(QStringLiteral(":/image/app2.ico"));
    QCOMPARE(reader.imageCount(), 3);
    QList<int> sides;
    for (int i = 0; i < reader.imageCount(); ++i) {
        QVERIFY(reader.jumpToImage(i));
        const QImage image = reader.read();
        QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
        sides << image.width();
    }
    QCOMPARE(sides, (QList<int>{16, 32, 48}));
    // The window gets its icon through the path written without a slash after the colon.
    QCOMPARE(iconImage(m_window->windowIcon()),
             iconImage(QIcon(QStringLiteral(":/image/app2.ico"))));
}

void TestWidget::docksDrawTheirOwnIcons()
{
    const std::pair<const char *, const char *> docks[] = {
        {"dwLCD", "number.png"}, {"dwRecord", "text.png"}, {"dwChart", "quxian.png"}};
    QSet<QStyle *> styles;
    for (const auto &[dockName, iconName] : docks) {
        auto *style = qobject_cast<iconned_dock_style *>(child<QDockWidget>(dockName)->style());
        QVERIFY2(style, dockName);
        styles.insert(style);
        QCOMPARE(iconImage(style->dockIcon()),
                 iconImage(QIcon(QStringLiteral(":/image/") + iconName)));
        // The wrapped style is the dock's own, not the application's.
        QVERIFY(style->baseStyle() != QApplication::style());
    }
    QCOMPARE(styles.size(), 3);
    QCOMPARE(QApplication::style()->proxy(), QApplication::style());
    // Other widgets keep the application style.
    QCOMPARE(child<QTableView>("tv")->style(), QApplication::style());
}

void TestWidget::dockTitleTextMovesRightOfIcon()
{
    auto *base = new RecordingStyle;
    iconned_dock_style style(solidIcon(Qt::red), base);
    QStyleOptionDockWidget option;
    option.rect = QRect(5, 0, 200, 22);
    option.title = QStringLiteral("LCD");
    QImage image(220, 30, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        style.drawControl(QStyle::CE_DockWidgetTitle, &option, &painter);
    }
    // The icon is the toolbar icon size less two: 18 pixels at the painter's origin.
    QCOMPARE(base->drawn.size(), 1);
    QCOMPARE(base->drawn.first().first, QStyle::CE_DockWidgetTitle);
    QCOMPARE(base->drawn.first().second, QRect(5 + 18, 0, 200 - 18, 22));
    QCOMPARE(image.pixel(0, 0), QColor(Qt::red).rgba());
    QCOMPARE(image.pixel(17, 17), QColor(Qt::red).rgba());
    QCOMPARE(qAlpha(image.pixel(18, 5)), 0);
    QCOMPARE(qAlpha(image.pixel(5, 18)), 0);
}

void TestWidget::otherControlsPassUnchanged()
{
    auto *base = new RecordingStyle;
    iconned_dock_style style(solidIcon(Qt::red), base);
    QImage image(64, 64, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QStyleOptionButton button;
    button.rect = QRect(2, 3, 40, 20);
    QStyleOption plain;
    plain.rect = QRect(1, 1, 30, 10);
    {
        QPainter painter(&image);
        style.drawControl(QStyle::CE_PushButton, &button, &painter);
        // A dock title without a dock option has nothing to place an icon beside.
        style.drawControl(QStyle::CE_DockWidgetTitle, &plain, &painter);
    }
    QCOMPARE(base->drawn.size(), 2);
    QCOMPARE(base->drawn.at(0).second, button.rect);
    QCOMPARE(base->drawn.at(1).second, plain.rect);
    QCOMPARE(qAlpha(image.pixel(3, 3)), 0);
}

void TestWidget::failedConnectShowsMessageOncePerPress()
{
    m_window->deviceLink()->setLinkFactory(
        [](const QString &, const LinkSettings &, QString *error) -> LinkBackend * {
            *error = QStringLiteral("no bridge");
            return nullptr;
        });
    m_window->show();
    SeenBox seen;
    const auto dismisser = dismissMessageBoxes(&seen);
    action("actionConnect")->trigger();
    QCOMPARE(seen.count, 1);
    QCOMPARE(seen.text, QStringLiteral("Failed to open device."));
    QCOMPARE(seen.title, QString());
    QCOMPARE(seen.icon, QMessageBox::Critical);
    QCOMPARE(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    action("actionConnect")->trigger();
    QCOMPARE(seen.count, 2);
    QVERIFY(action("actionConnect")->isEnabled());
    QVERIFY(!action("actionDisconnect")->isEnabled());
}

void TestWidget::connectOpensTheLinkQuietly()
{
    const auto link = useFakeLinks();
    SeenBox seen;
    const auto dismisser = dismissMessageBoxes(&seen);
    action("actionConnect")->trigger();
    QVERIFY(!link->isNull());
    QVERIFY((*link)->isOpen());
    QVERIFY(m_window->deviceLink()->isActived());
    QCOMPARE(seen.count, 0);
}

void TestWidget::disconnectClosesTheLink()
{
    const auto link = useFakeLinks();
    action("actionConnect")->trigger();
    QVERIFY(m_window->deviceLink()->isActived());
    QSignalSpy closed(m_window->deviceLink(), &DeviceSelector::closed);
    // The window enables Disconnect only once the driver reports the link open.
    action("actionDisconnect")->setEnabled(true);
    action("actionDisconnect")->trigger();
    QCOMPARE(closed.count(), 1);
    QVERIFY(!(*link)->isOpen());
}

void TestWidget::closingTheWindowClosesTheLink()
{
    const auto link = useFakeLinks();
    m_window->show();
    action("actionConnect")->trigger();
    QVERIFY(m_window->deviceLink()->isActived());
    QSignalSpy closed(m_window->deviceLink(), &DeviceSelector::closed);
    action("actionClose")->trigger();
    QVERIFY(!m_window->isVisible());
    QCOMPARE(closed.count(), 1);
    QVERIFY(!(*link)->isOpen());
}

QTEST_MAIN(TestWidget)
#include "tst_widget.moc"
