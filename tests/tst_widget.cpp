#include "app/commandline.h"
#include "app/iconned_dock_style.h"
#include "app/resourcebundle.h"
#include "app/widget.h"
#include "record/dmmchart.h"
#include "tests/scratchsettings.h"
#include "tests/testfiles.h"

#include <QtTest>
#include <QtWidgets>

namespace {

// A style with 20-pixel toolbar icons that records where it is asked to draw.
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

} // namespace

// What the program reads as it starts, the main window as a first run builds it, and its manual.
class TestWidget : public QObject
{
    Q_OBJECT
    ScratchSettings m_settings; // no settings file: a first run
    std::unique_ptr<Widget> m_window;

    template<typename T> T *child(const char *name) const
    {
        return m_window->findChild<T *>(QLatin1String(name));
    }

private slots:
    void initTestCase() { registerResources(); }
    void init() { m_window = std::make_unique<Widget>(); }
    void cleanup() { m_window.reset(); }

    void commandLineIsParsed_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QString>("result"); // for a usage error, what its message names
        const auto row = [](const char *arguments, const char *result) {
            QTest::newRow(arguments) << arguments << result;
        };
        row("", "run auto journal:");
        row("--device sim --connect", "run sim connect journal:");
        row("--journal /tmp/j", "run auto journal:/tmp/j");
        row("--no-journal", "run auto journal:off");
        row("--version -h", "help");
        row("--device", "device");
        row("--journal /tmp/j --no-journal", "--no-journal");
    }

    void commandLineIsParsed()
    {
        QFETCH(QString, arguments);
        QFETCH(QString, result);
        CommandLine line;
        // The error of an earlier parse is forgotten.
        QCOMPARE(line.parse({"klm704", "--bogus"}), CommandLine::Outcome::UsageError);
        const auto outcome =
            line.parse(QStringList{"klm704"} + arguments.split(' ', Qt::SkipEmptyParts));
        const QString journal =
            line.keepsJournal() ? line.journalDirectory() : QStringLiteral("off");
        const QString got =
            outcome == CommandLine::Outcome::Run
                ? QStringLiteral("run %1%2 journal:%3")
                      .arg(line.device(), line.connectAtStart() ? " connect" : "", journal)
            : outcome == CommandLine::Outcome::ShowHelp ? QStringLiteral("help")
                                                        : line.errorText();
        QCOMPARE(line.errorText().isEmpty(), outcome != CommandLine::Outcome::UsageError);
        QVERIFY2(got == result || (got.contains(result) && got.contains("klm704 --help")),
                 qPrintable(got));
    }

    void firstRunWindowIsCentredAndDisconnected()
    {
        QCOMPARE(m_window->size(), QSize(1000, 600));
        const QWidget *desktop = QApplication::desktop();
        QCOMPARE(m_window->pos(),
                 QPoint((desktop->width() - 1000) / 2, (desktop->height() - 600) / 2));
        QVERIFY(!m_window->centralWidget());
        const QIcon bundled(":/image/app2.ico");
        QCOMPARE(m_window->windowIcon().pixmap(32).toImage(), bundled.pixmap(32).toImage());
        QVERIFY(!bundled.isNull());
        QVERIFY(child<QAction>("actionConnect")->isEnabled());
        QVERIFY(!child<QAction>("actionDisconnect")->isEnabled());
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        QCOMPARE(m_window->windowTitle(), QStringLiteral("KLM-704 v2.02 "));
        QVERIFY(child<DMMChart>("chart")->isVisible());
        QVERIFY(!child<DMMChart>("chart2")->isVisible());
        for (const char *name : {"actionPeak", "actionExitPeak"})
            QVERIFY(child<QToolBar>("CommandToolBar")
                        ->widgetForAction(child<QAction>(name))
                        ->isVisible());
    }

    void toolbarsHoldTheirActionsInOrder_data()
    {
        QTest::addColumn<QString>("actions"); // "-" stands for the spacer widget
        QTest::newRow("mainToolBar") << "Connect Disconnect - Option Manual Close";
        QTest::newRow("CommandToolBar")
            << "Select RangeManual RangeAuto Rel Hz Hold Light Peak ExitPeak MaxMin ExitMaxMin";
        QTest::newRow("tbChart") << "Delete SaveImage";
        QTest::newRow("tbRecord") << "Delete Print Export";
    }

    void toolbarsHoldTheirActionsInOrder()
    {
        QStringList names;
        for (const QAction *action : child<QToolBar>(QTest::currentDataTag())->actions()) {
            names << (action->objectName().isEmpty() ? "-" : action->objectName().mid(6));
            // Every button shows a text and a bundle image.
            QVERIFY(action->objectName().isEmpty() ||
                    !(action->text().isEmpty() || action->icon().isNull()));
        }
        QTEST(names.join(' '), "actions");
    }

    void manualPdfHasAPageForEveryFewSections()
    {
        const QByteArray pdf = testfiles::readAll(KLM704_MANUAL_PDF);
        QVERIFY(pdf.startsWith("%PDF-"));
        const int pages = QString::fromLatin1(pdf.constData(), pdf.size())
                              .count(QRegularExpression("/Type\\s*/Page(?!s)"));
        const int sections =
            QString::fromUtf8(testfiles::readAll(KLM704_MANUAL_SOURCE))
                .count(QRegularExpression("^## ", QRegularExpression::MultilineOption));
        // A cut-off or empty conversion has far fewer pages than the source has sections.
        QVERIFY(sections >= 6);
        QVERIFY2(pages >= 3 && pages * 3 >= sections, qPrintable(QString::number(pages)));
    }

    void dockTitleMovesRightOfItsIcon()
    {
        auto *base = new RecordingStyle;
        QPixmap red(32, 32);
        red.fill(Qt::red);
        iconned_dock_style style{QIcon(red), base};
        QStyleOptionDockWidget title;
        title.rect = QRect(5, 0, 200, 22);
        QImage image(220, 30, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        style.drawControl(QStyle::CE_DockWidgetTitle, &title, &painter);
        painter.end();
        // The icon is the toolbar icon size less two, drawn at the painter's origin.
        QCOMPARE(base->drawn, QVector<QRect>{QRect(5 + 18, 0, 200 - 18, 22)});
        QCOMPARE(image.pixel(17, 17), QColor(Qt::red).rgba());
        QCOMPARE(qAlpha(image.pixel(18, 5)), 0);
    }
};

QTEST_MAIN(TestWidget)
#include "tst_widget.moc"
