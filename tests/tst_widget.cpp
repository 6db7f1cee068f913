#include "app/appname.h"
#include "app/iconned_dock_style.h"
#include "app/resourcebundle.h"
#include "app/widget.h"
#include "meter/deviceselector.h"
#include "record/dmmchart.h"
#include "tests/scratchsettings.h"

#include <QAction>
#include <QApplication>
#include <QDesktopWidget>
#include <QDir>
#include <QDockWidget>
#include <QGridLayout>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QStyleFactory>
#include <QStyleOptionDockWidget>
#include <QTableView>
#include <QToolBar>
#include <QtTest>
#include <memory>

namespace {

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
    void drawControl(ControlElement, const QStyleOption *option, QPainter *,
                     const QWidget *) const override
    {
        drawn.append(option->rect);
    }
    mutable QVector<QRect> drawn;
};

QImage iconImage(const QIcon &icon)
{
    return icon.pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
}

QImage bundleIcon(const QString &name)
{
    return iconImage(QIcon(QStringLiteral(":/image/") + name));
}

// The object names of the widgets a layout item holds, in layout order, however deeply nested.
void collectWidgets(QLayoutItem *item, QStringList &names)
{
    if (QWidget *widget = item->widget()) {
        names << widget->objectName();
    } else if (QLayout *layout = item->layout()) {
        for (int i = 0; i < layout->count(); ++i)
            collectWidgets(layout->itemAt(i), names);
    }
}

} // namespace

// The main window as it is built: toolbars, actions, docks, panel widgets, images and dock style.
class TestWidget : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void firstRunWindowIsCentredAndDisconnected();
    void toolbarsHoldTheirActionsInOrder_data();
    void toolbarsHoldTheirActionsInOrder();
    void everyActionHasItsTextAndIcon();
    void docksAndPanelAreArranged();
    void panelGridPlacesItsCells_data();
    void panelGridPlacesItsCells();
    void everyBundleImageLoads();
    void docksDrawTheirOwnIcons();
    void dockTitleMovesRightOfItsIcon();

private:
    template<typename T> T *child(const char *name) const
    {
        return m_window->findChild<T *>(QLatin1String(name));
    }
    void showWindow();

    std::unique_ptr<ScratchSettings> m_settings;
    std::unique_ptr<Widget> m_window;
};

void TestWidget::initTestCase()
{
    registerResources();
}

void TestWidget::init()
{
    // Every case starts as on a first run: no settings saved by the case before.
    m_settings = std::make_unique<ScratchSettings>();
    m_window = std::make_unique<Widget>();
}

void TestWidget::cleanup()
{
    m_window.reset();
    m_settings.reset();
}

void TestWidget::showWindow()
{
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestWidget::firstRunWindowIsCentredAndDisconnected()
{
    QCOMPARE(m_window->size(), QSize(1000, 600));
    const QWidget *desktop = QApplication::desktop();
    // Integer halves truncate toward zero, also when the desktop is smaller than the window.
    QCOMPARE(m_window->pos(), QPoint((desktop->width() - 1000) / 2, (desktop->height() - 600) / 2));
    QVERIFY(!m_window->centralWidget());
    QVERIFY(m_window->isDockNestingEnabled());
    QVERIFY(m_window->menuBar()->actions().isEmpty());
    QCOMPARE(m_window->deviceLink()->device(), QStringLiteral("auto"));
    QVERIFY(!m_window->deviceLink()->isActived());
    showWindow();
    QCOMPARE(QApplication::applicationDisplayName(), appName);
    QVERIFY(child<DMMChart>("chart")->isVisible());
    QVERIFY(!child<DMMChart>("chart2")->isVisible());
    // This model has the peak keys.
    for (const char *name : {"actionPeak", "actionExitPeak"})
        QVERIFY(
            child<QToolBar>("CommandToolBar")->widgetForAction(child<QAction>(name))->isVisible());
    // The spacer pushes the last buttons of the main toolbar to its right end.
    auto *bar = child<QToolBar>("mainToolBar");
    QVERIFY(bar->widgetForAction(bar->actions().at(2))->width() > bar->width() / 2);
    QVERIFY(bar->widgetForAction(child<QAction>("actionClose"))->geometry().right() >
            bar->width() - 60);
}

void TestWidget::toolbarsHoldTheirActionsInOrder_data()
{
    QTest::addColumn<QString>("toolbar");
    QTest::addColumn<QSize>("iconSize");
    QTest::addColumn<bool>("windowToolbar");
    QTest::addColumn<QStringList>("actions"); // an empty name stands for the spacer widget
    QTest::newRow("main") << "mainToolBar" << QSize(16, 16) << true
                          << QStringList{"actionConnect", "actionDisconnect", "",
                                         "actionOption",  "actionManual",     "actionClose"};
    QTest::newRow("meter keys") << "CommandToolBar" << QSize(16, 16) << true
                                << QStringList{
                                       "actionSelect", "actionRangeManual", "actionRangeAuto",
                                       "actionRel",    "actionHz",          "actionHold",
                                       "actionLight",  "actionPeak",        "actionExitPeak",
                                       "actionMaxMin", "actionExitMaxMin"};
    QTest::newRow("chart") << "tbChart" << QSize(32, 16) << false
                           << QStringList{"actionDelete", "actionSaveImage"};
    QTest::newRow("record") << "tbRecord" << QSize(32, 16) << false
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
    QTEST(bar->iconSize(), "iconSize");
    // The window's own toolbars show text under the icons, move and float, and sit at the top,
    // the meter keys on a row of their own; those inside the docks stay put.
    QFETCH(bool, windowToolbar);
    QCOMPARE(bar->toolButtonStyle() == Qt::ToolButtonTextUnderIcon, windowToolbar);
    QCOMPARE(bar->isMovable() || bar->isFloatable(), windowToolbar);
    if (windowToolbar) {
        QCOMPARE(bar->windowTitle(),
                 toolbar == QLatin1String("mainToolBar") ? "Toolbar" : "Command");
        QCOMPARE(m_window->toolBarArea(bar), Qt::TopToolBarArea);
        QCOMPARE(m_window->toolBarBreak(bar), toolbar == QLatin1String("CommandToolBar"));
    }
}

void TestWidget::everyActionHasItsTextAndIcon()
{
    // Every action of the window shows a text and, but for the Record and Test1/Test2 actions,
    // a bundle image; none has a shortcut, and the key texts that wrap keep their line break.
    const QStringList withoutIcon = {"actionRecord", "actionTest1", "actionTest2"};
    QStringList actions;
    for (const QAction *action :
         m_window->findChildren<QAction *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (action->objectName().isEmpty() || action->isSeparator())
            continue;
        actions << action->objectName();
        QVERIFY2(!action->text().isEmpty(), qPrintable(action->objectName()));
        QVERIFY(action->shortcut().isEmpty());
        QCOMPARE(action->icon().isNull(), withoutIcon.contains(action->objectName()));
    }
    QCOMPARE(actions.size(), 31);
    // Representatives: a disabled one, a checkable one, one with its own tooltip, a wrapped one.
    const auto describe = [this](const char *name) {
        const QAction *action = child<QAction>(name);
        return QStringLiteral("%1|%2|%3|%4")
            .arg(action->text(), action->toolTip())
            .arg(action->isEnabled())
            .arg(action->isCheckable());
    };
    QCOMPARE(describe("actionConnect"), QStringLiteral("Connect|Connect|1|0"));
    QCOMPARE(describe("actionDisconnect"), QStringLiteral("Disconnect|Disconnect|0|0"));
    QCOMPARE(describe("actionLCD"), QStringLiteral("LCD|LCD|1|1"));
    QCOMPARE(describe("actionRangeManual"), QStringLiteral("Manual|Manual|1|0"));
    QCOMPARE(describe("actionExitPeak"),
             QStringLiteral("Exit PEAK Max/Min\n|Exit PEAK Max/Min|1|0"));
    QCOMPARE(iconImage(child<QAction>("actionHz")->icon()), bundleIcon("freq.png"));
}

void TestWidget::docksAndPanelAreArranged()
{
    auto *chart = child<QDockWidget>("dwChart");
    auto *lcd = child<QDockWidget>("dwLCD");
    auto *record = child<QDockWidget>("dwRecord");
    QCOMPARE(m_window->dockWidgetArea(chart), Qt::RightDockWidgetArea);
    QCOMPARE(lcd->windowTitle() + record->windowTitle() + chart->windowTitle(),
             QStringLiteral("LCDRecordChart"));
    QCOMPARE(lcd->minimumSize(), QSize(450, 199));
    // The panel starts empty; its number is large, bold and centred.
    const QList<QLabel *> labels = child<QWidget>("dockWidgetContents_3")->findChildren<QLabel *>();
    QCOMPARE(labels.size(), 16);
    for (const QLabel *label : labels)
        QVERIFY2(label->text().isEmpty(), qPrintable(label->objectName()));
    auto *primary = child<QLineEdit>("lcdPrimary");
    QVERIFY(primary->text().isEmpty() && primary->isReadOnly() && primary->font().bold());
    QCOMPARE(primary->font().pointSize(), 33);
    QCOMPARE(primary->alignment(), Qt::AlignCenter);

    showWindow();
    // The record dock sits below the LCD dock, the chart dock to their right.
    QCOMPARE(record->x(), lcd->x());
    QVERIFY(record->y() > lcd->y());
    QVERIFY(chart->x() >= lcd->x() + lcd->width());
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

void TestWidget::panelGridPlacesItsCells()
{
    QFETCH(int, row);
    QFETCH(int, column);
    auto *grid = child<QGridLayout>("gridLayout_5");
    QVERIFY(grid);
    QStringList names;
    collectWidgets(grid->itemAtPosition(row, column), names);
    QTEST(names, "widgets");
}

void TestWidget::everyBundleImageLoads()
{
    const QStringList expected = QDir(QStringLiteral(":/image")).entryList();
    QCOMPARE(expected.size(), 62);
    for (const QString &name : expected) {
        const QImage image =
            QImage(QStringLiteral(":/image/") + name).convertToFormat(QImage::Format_ARGB32);
        // Every image draws something: a fair share of visible pixels in more than one colour.
        int visible = 0;
        QSet<QRgb> colours;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qAlpha(image.pixel(x, y)) > 128) {
                    ++visible;
                    colours.insert(image.pixel(x, y));
                }
        QVERIFY2(!image.isNull() && visible >= image.width() * image.height() / 40,
                 qPrintable(name));
        QVERIFY2(colours.size() > 1 || name == QLatin1String("dot.png"), qPrintable(name));
    }
    // The panel shows these at 16×16 without smoothing, so they are drawn at that size.
    for (const char *name : {"xudianchi.png", "sc.png", "diode2.png"})
        QCOMPARE(QImage(QStringLiteral(":/image/") + name).size(), QSize(16, 16));

    // The window icon holds three sizes; the window finds it through its path.
    QImageReader reader(QStringLiteral(":/image/app2.ico"));
    QList<int> sides;
    for (int i = 0; i < reader.imageCount() && reader.jumpToImage(i); ++i)
        sides << reader.read().width();
    QCOMPARE(sides, (QList<int>{16, 32, 48}));
    QCOMPARE(iconImage(m_window->windowIcon()), bundleIcon("app2.ico"));
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
        QCOMPARE(iconImage(style->dockIcon()), bundleIcon(iconName));
        // The wrapped style is the dock's own, not the application's.
        QVERIFY(style->baseStyle() != QApplication::style());
    }
    QCOMPARE(styles.size(), 3);
    // Other widgets keep the application style.
    QCOMPARE(child<QTableView>("tv")->style(), QApplication::style());
}

void TestWidget::dockTitleMovesRightOfItsIcon()
{
    auto *base = new RecordingStyle;
    QPixmap red(32, 32);
    red.fill(Qt::red);
    iconned_dock_style style{QIcon(red), base};
    QStyleOptionDockWidget title;
    title.rect = QRect(5, 0, 200, 22);
    QStyleOptionButton button;
    button.rect = QRect(2, 3, 40, 20);
    QStyleOption plain;
    plain.rect = QRect(1, 1, 30, 10);
    QImage image(220, 30, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        style.drawControl(QStyle::CE_DockWidgetTitle, &title, &painter);
        // Other controls, and a dock title without a dock option, pass unchanged.
        style.drawControl(QStyle::CE_PushButton, &button, &painter);
        style.drawControl(QStyle::CE_DockWidgetTitle, &plain, &painter);
    }
    // The icon is the toolbar icon size less two: 18 pixels at the painter's origin.
    QCOMPARE(base->drawn,
             (QVector<QRect>{QRect(5 + 18, 0, 200 - 18, 22), button.rect, plain.rect}));
    QCOMPARE(image.pixel(17, 17), QColor(Qt::red).rgba());
    QCOMPARE(qAlpha(image.pixel(18, 5)), 0);
    QCOMPARE(qAlpha(image.pixel(5, 18)), 0);
}

QTEST_MAIN(TestWidget)
#include "tst_widget.moc"
