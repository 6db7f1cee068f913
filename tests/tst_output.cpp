#include "app/widget.h"
#include "fakelink.h"
#include "meter/commandpoolthread.h"
#include "meter/deviceselector.h"
#include "meter/mydmm.h"
#include "record/chartpoint.h"
#include "record/datamodel.h"
#include "record/dmmchart.h"
#include "record/imagenames.h"
#include "recordsamples.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QImage>
#include <QMessageBox>
#include <QPointer>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

const QString kManual = QStringLiteral("Software User Manual.pdf");
const QRgb kCurve = qRgb(250, 150, 0);
const QRgb kMarker = qRgb(0, 100, 250);
const QDateTime kStart(QDate(2024, 5, 6), QTime(7, 8, 9));

// Stands in for the desktop: records every file it is asked to open.
class DesktopCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl &url) { opened.append(url); }
};

// What the save-file dialog was asked, and the name the pretend user gives.
struct PretendUser
{
    QString answer;
    int asked = 0;
    QString caption;
    QString filter;
    QWidget *parent = nullptr;
};

// What a message box showed before the pretend user answered it.
struct SeenBox
{
    int count = 0;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
};

// Answers every message box that opens with the given button until the timer is deleted.
std::unique_ptr<QTimer> answerMessageBoxes(SeenBox *seen, QMessageBox::StandardButton button)
{
    auto timer = std::make_unique<QTimer>();
    QObject::connect(timer.get(), &QTimer::timeout, [seen, button] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        ++seen->count;
        seen->title = box->windowTitle();
        seen->text = box->text();
        seen->icon = box->icon();
        seen->buttons = box->standardButtons();
        if (QAbstractButton *answer = box->button(button))
            answer->click();
        else
            box->reject();
    });
    timer->start(10);
    return timer;
}

QByteArray fileStart(const QString &fileName, int size)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.read(size) : QByteArray();
}

bool isJpeg(const QString &fileName)
{
    return fileStart(fileName, 3) == QByteArray::fromHex("FFD8FF");
}

bool isPng(const QString &fileName)
{
    return fileStart(fileName, 8) == QByteArray::fromHex("89504E470D0A1A0A");
}

int countColour(const QString &fileName, QRgb colour)
{
    const QImage image = QImage(fileName).convertToFormat(QImage::Format_RGB32);
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            count += (line[x] & 0xFFFFFF) == (colour & 0xFFFFFF) ? 1 : 0;
    }
    return count;
}

} // namespace

Q_DECLARE_METATYPE(QMessageBox::StandardButton)

// The window's output actions: CSV export, printing, chart images, the manual and Test.
class TestOutput : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void exportWritesTheTableAndOffersToOpenIt_data();
    void exportWritesTheTableAndOffersToOpenIt();
    void exportThatCannotWriteSaysSo_data();
    void exportThatCannotWriteSaysSo();
    void cancelledDialogWritesNothing_data();
    void cancelledDialogWritesNothing();

    void printOpensTheMaximisedPreviewOfTheTable();

    void chartImageNamesFollowTheChosenName_data();
    void chartImageNamesFollowTheChosenName();
    void singleChartIsSavedUnderTheChosenName_data();
    void singleChartIsSavedUnderTheChosenName();
    void bothChartsGoToNumberedFiles_data();
    void bothChartsGoToNumberedFiles();
    void firstChartGoesToTheFirstFile();
    void savedImageHoldsTheHoverMarker();

    void manualIsLookedUpInTheWorkingDirectory();
    void testActionReleasesThePendingCommand();

private:
    QAction *action(const char *name) const
    {
        return m_window->findChild<QAction *>(QLatin1String(name));
    }
    DMMChart *chart(const char *name) const
    {
        return m_window->findChild<DMMChart *>(QLatin1String(name));
    }
    void addRows(int count);
    void addChartPoints(DMMChart *target);
    void showWindow(bool bothCharts);
    QStringList filesIn(const QTemporaryDir &dir) const;

    recordsamples::RecordSetup m_setup;
    std::unique_ptr<Widget> m_window;
    std::unique_ptr<DesktopCatcher> m_desktop;
    std::shared_ptr<PretendUser> m_user;
    QString m_workingDirectory;
};

void TestOutput::init()
{
    m_window = std::make_unique<Widget>();
    m_user = std::make_shared<PretendUser>();
    m_window->setSaveNameAsker(
        [user = m_user](QWidget *parent, const QString &caption, const QString &filter) {
            ++user->asked;
            user->parent = parent;
            user->caption = caption;
            user->filter = filter;
            return user->answer;
        });
    m_desktop = std::make_unique<DesktopCatcher>();
    QDesktopServices::setUrlHandler(QStringLiteral("file"), m_desktop.get(), "open");
    m_workingDirectory = QDir::currentPath();
}

void TestOutput::cleanup()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    QDir::setCurrent(m_workingDirectory);
    m_window.reset();
    m_desktop.reset();
}

// Rows of DC voltage readings, one second apart from kStart.
void TestOutput::addRows(int count)
{
    const FunctionEntry *dcv = findEntry(m_setup.defaultTable, 2, 0x31);
    QVERIFY(dcv);
    for (int i = 0; i < count; ++i) {
        const auto &display = recordsamples::displays().at(i % 2);
        m_window->recordModel()->appendRecord(
            recordsamples::makeReading(dcv, display, i, kStart.addSecs(i)));
    }
}

void TestOutput::addChartPoints(DMMChart *target)
{
    for (int i = 0; i < 4; ++i) {
        const QDateTime time = kStart.addSecs(i);
        const QString text = QString::number(i + 1);
        target->addPoint(
            new ChartPoint(time, i + 1, text, ChartPoint::makeLabel(time, "DCV", text, "V")));
    }
}

void TestOutput::showWindow(bool bothCharts)
{
    chart("chart2")->setVisible(bothCharts);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

QStringList TestOutput::filesIn(const QTemporaryDir &dir) const
{
    return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

void TestOutput::exportWritesTheTableAndOffersToOpenIt_data()
{
    QTest::addColumn<QMessageBox::StandardButton>("answer");
    QTest::addColumn<bool>("opens");
    QTest::newRow("yes opens the file") << QMessageBox::Yes << true;
    QTest::newRow("no leaves it") << QMessageBox::No << false;
}

void TestOutput::exportWritesTheTableAndOffersToOpenIt()
{
    QFETCH(QMessageBox::StandardButton, answer);
    QFETCH(bool, opens);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    addRows(2);
    m_user->answer = dir.filePath("run.csv");

    SeenBox seen;
    {
        const auto answerer = answerMessageBoxes(&seen, answer);
        action("actionExport")->trigger();
    }

    QCOMPARE(m_user->asked, 1);
    QCOMPARE(m_user->parent, static_cast<QWidget *>(m_window.get()));
    QCOMPARE(m_user->caption, QStringLiteral("Export the data to a CSV file."));
    QCOMPARE(m_user->filter, QStringLiteral("CSV(*.csv)"));
    QCOMPARE(fileStart(m_user->answer, 1000),
             QByteArray("No.,Date/Time,Function,Range,Value,Unit\n"
                        "1,2024-05-06 07:08:09,DCV,60, 1.234 ,V\n"
                        "2,2024-05-06 07:08:10,DCV,60,-0.0123,V\n"));
    QCOMPARE(seen.count, 1);
    QCOMPARE(seen.title, QString());
    QCOMPARE(
        seen.text,
        QStringLiteral("The datas is exported successfully.\r\nDo you want to open this file?"));
    QCOMPARE(seen.icon, QMessageBox::Question);
    QCOMPARE(seen.buttons, QMessageBox::Yes | QMessageBox::No);
    const QList<QUrl> expected =
        opens ? QList<QUrl>{QUrl::fromLocalFile(m_user->answer)} : QList<QUrl>{};
    QCOMPARE(m_desktop->opened, expected);
}

void TestOutput::exportThatCannotWriteSaysSo_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("a directory") << QString();
    QTest::newRow("a missing directory") << QStringLiteral("missing/run.csv");
}

void TestOutput::exportThatCannotWriteSaysSo()
{
    QFETCH(QString, name);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    addRows(1);
    m_user->answer = name.isEmpty() ? dir.path() : dir.filePath(name);

    SeenBox seen;
    {
        const auto answerer = answerMessageBoxes(&seen, QMessageBox::Ok);
        action("actionExport")->trigger();
    }

    QCOMPARE(seen.count, 1);
    QCOMPARE(seen.title, QString());
    QCOMPARE(seen.text, QStringLiteral("The datas is exported failed."));
    QCOMPARE(seen.icon, QMessageBox::Information);
    QCOMPARE(seen.buttons, QMessageBox::Ok);
    QVERIFY(m_desktop->opened.isEmpty());
    QVERIFY(QFileInfo(dir.path()).isDir());
    QCOMPARE(filesIn(dir), QStringList());
}

void TestOutput::cancelledDialogWritesNothing_data()
{
    QTest::addColumn<QString>("actionName");
    QTest::newRow("export") << QStringLiteral("actionExport");
    QTest::newRow("chart image") << QStringLiteral("actionSaveImage");
}

void TestOutput::cancelledDialogWritesNothing()
{
    QFETCH(QString, actionName);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir::setCurrent(dir.path()));
    addRows(3);
    showWindow(true);

    SeenBox seen;
    {
        const auto answerer = answerMessageBoxes(&seen, QMessageBox::Yes);
        action(qPrintable(actionName))->trigger();
    }

    QCOMPARE(m_user->asked, 1);
    QCOMPARE(seen.count, 0);
    QCOMPARE(filesIn(dir), QStringList());
    QVERIFY(m_desktop->opened.isEmpty());
}

void TestOutput::printOpensTheMaximisedPreviewOfTheTable()
{
    // Enough rows for several pages on any paper size.
    addRows(200);
    Qt::WindowStates state;
    Qt::WindowFlags flags;
    int pages = 0;
    int polls = 0;
    QTimer closer;
    connect(&closer, &QTimer::timeout, [&] {
        auto *preview = qobject_cast<QPrintPreviewDialog *>(QApplication::activeModalWidget());
        if (!preview)
            return;
        const auto *pageView = preview->findChild<QPrintPreviewWidget *>();
        // Waits up to about five seconds for the pages, then closes the preview regardless.
        if (pageView && pageView->pageCount() == 0 && ++polls < 500)
            return;
        state = preview->windowState();
        flags = preview->windowFlags();
        pages = pageView ? pageView->pageCount() : -1;
        preview->reject();
    });
    closer.start(10);

    action("actionPrint")->trigger();

    QVERIFY(state & Qt::WindowMaximized);
    QVERIFY(flags & Qt::WindowMaximizeButtonHint);
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY2(pages > 1, qPrintable(QString::number(pages)));
    QVERIFY(!QApplication::activeModalWidget());
}

void TestOutput::chartImageNamesFollowTheChosenName_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::newRow("plain") << "/data/run.jpg"
                           << "/data/run_1.jpg"
                           << "/data/run_2.jpg";
    QTest::newRow("middle part dropped") << "/data/run.old.jpg"
                                         << "/data/run_1.jpg"
                                         << "/data/run_2.jpg";
    QTest::newRow("no suffix ends in a dot") << "/data/run"
                                             << "/data/run_1."
                                             << "/data/run_2.";
    QTest::newRow("dots in the directory") << "/data/v1.2/run.png"
                                           << "/data/v1.2/run_1.png"
                                           << "/data/v1.2/run_2.png";
    QTest::newRow("percent signs stay text") << "/data/%1 50%/run%2.jpg"
                                             << "/data/%1 50%/run%2_1.jpg"
                                             << "/data/%1 50%/run%2_2.jpg";
    QTest::newRow("hidden name") << "/data/.jpg"
                                 << "/data/_1.jpg"
                                 << "/data/_2.jpg";
    QTest::newRow("in the root") << "/run.jpg"
                                 << "/run_1.jpg"
                                 << "/run_2.jpg";
    QTest::newRow("relative to the working directory")
        << "out/run.jpg" << QDir::current().filePath("out/run_1.jpg")
        << QDir::current().filePath("out/run_2.jpg");
}

void TestOutput::chartImageNamesFollowTheChosenName()
{
    QFETCH(QString, chosen);
    QFETCH(QString, first);
    QFETCH(QString, second);
    const ChartImageNames names = chartImageNames(chosen);
    QCOMPARE(names.first, first);
    QCOMPARE(names.second, second);
}

void TestOutput::singleChartIsSavedUnderTheChosenName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("png");
    QTest::newRow("jpeg") << "run.jpg" << false;
    QTest::newRow("png despite the filter") << "run.png" << true;
    QTest::newRow("two dots") << "run.old.jpg" << false;
}

void TestOutput::singleChartIsSavedUnderTheChosenName()
{
    QFETCH(QString, name);
    QFETCH(bool, png);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    showWindow(false);
    addChartPoints(chart("chart"));
    m_user->answer = dir.filePath(name);

    action("actionSaveImage")->trigger();

    QCOMPARE(m_user->parent, static_cast<QWidget *>(m_window.get()));
    QCOMPARE(m_user->caption, QStringLiteral("Export the chart to a JPEG file."));
    QCOMPARE(m_user->filter, QStringLiteral("JPEG File(*.jpg)"));
    QCOMPARE(filesIn(dir), QStringList{name});
    QVERIFY(png ? isPng(m_user->answer) : isJpeg(m_user->answer));
    QCOMPARE(QImage(m_user->answer).size(), chart("chart")->size());
}

void TestOutput::bothChartsGoToNumberedFiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("files");
    QTest::newRow("plain") << "run.jpg" << QStringList{"run_1.jpg", "run_2.jpg"};
    QTest::newRow("middle part dropped") << "run.old.jpg" << QStringList{"run_1.jpg", "run_2.jpg"};
    QTest::newRow("no suffix names no format") << "run" << QStringList{};
}

void TestOutput::bothChartsGoToNumberedFiles()
{
    QFETCH(QString, name);
    QFETCH(QStringList, files);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    showWindow(true);
    m_user->answer = dir.filePath(name);

    action("actionSaveImage")->trigger();

    QCOMPARE(filesIn(dir), files);
    for (const QString &file : files)
        QVERIFY2(isJpeg(dir.filePath(file)), qPrintable(file));
}

void TestOutput::firstChartGoesToTheFirstFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    showWindow(true);
    // Only the first chart has a curve.
    addChartPoints(chart("chart"));
    m_user->answer = dir.filePath("pair.png");

    action("actionSaveImage")->trigger();

    const QString first = dir.filePath("pair_1.png");
    const QString second = dir.filePath("pair_2.png");
    QVERIFY(isPng(first));
    QVERIFY(isPng(second));
    QVERIFY(countColour(first, kCurve) > 0);
    QCOMPARE(countColour(second, kCurve), 0);
    QCOMPARE(QImage(first).size(), chart("chart")->size());
    QCOMPARE(QImage(second).size(), chart("chart2")->size());
}

void TestOutput::savedImageHoldsTheHoverMarker()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    showWindow(false);
    DMMChart *first = chart("chart");
    addChartPoints(first);

    m_user->answer = dir.filePath("plain.png");
    action("actionSaveImage")->trigger();
    QCOMPARE(countColour(m_user->answer, kMarker), 0);

    QTest::mouseMove(first, first->plotArea().center());
    QTRY_VERIFY(first->isMarkerVisible());
    m_user->answer = dir.filePath("marker.png");
    action("actionSaveImage")->trigger();
    // The marker is a line across the plot, with the hover label above it.
    QVERIFY(countColour(m_user->answer, kMarker) > first->plotArea().height());
}

void TestOutput::manualIsLookedUpInTheWorkingDirectory()
{
    QTemporaryDir first;
    QTemporaryDir second;
    QVERIFY(first.isValid() && second.isValid());
    // A manual beside the program is not the one opened from another working directory.
    QVERIFY(QDir::setCurrent(first.path()));
    action("actionManual")->trigger();
    QVERIFY(QDir::setCurrent(second.path()));
    action("actionManual")->trigger();
    action("actionManual")->trigger();

    const QUrl inSecond = QUrl::fromLocalFile(second.filePath(kManual));
    QCOMPARE(m_desktop->opened,
             (QList<QUrl>{QUrl::fromLocalFile(first.filePath(kManual)), inSecond, inSecond}));
}

void TestOutput::testActionReleasesThePendingCommand()
{
    // Harmless while no command thread runs.
    action("actionTest")->trigger();

    auto latest = std::make_shared<QPointer<FakeLink>>();
    m_window->deviceLink()->setLinkFactory(
        [latest](const QString &, const LinkSettings &, QString *) -> LinkBackend * {
            auto *link = new FakeLink(FakeScript{}); // a meter that never answers
            *latest = link;
            return link;
        });
    // Unanswered, the poll would be sent again only after ten minutes.
    CommandPoolThread::Timing timing;
    timing.replyWaitMs = 600000;
    timing.restMs = 0;
    m_window->driver()->setThreadTiming(timing);
    QVERIFY(m_window->driver()->open());
    QCOMPARE(m_window->driver()->commandThread()->timing().replyWaitMs, timing.replyWaitMs);
    QTRY_COMPARE((*latest)->written().size(), 1);

    action("actionTest")->trigger();
    QTRY_COMPARE((*latest)->written().size(), 2);
    QCOMPARE((*latest)->written().at(1), FakeLink::pollFrame());

    action("actionTest")->trigger();
    QTRY_COMPARE((*latest)->written().size(), 3);
}

QTEST_MAIN(TestOutput)
#include "tst_output.moc"
