#include "app/resourcebundle.h"
#include "record/chartpoint.h"
#include "record/datamodel.h"
#include "record/dmmchart.h"
#include "record/imagenames.h"
#include "tests/modalboxes.h"
#include "tests/testfiles.h"
#include "tests/windowrig.h"

#include <QDesktopServices>
#include <QDir>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

namespace {

const QRgb kCurve = qRgb(250, 150, 0);

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
    QWidget *parent = nullptr;
    QStringList question; // caption and filter
};

QByteArray fileStart(const QString &fileName, int size)
{
    return testfiles::readAll(fileName).left(size);
}

// The image format a file is written in, by its first bytes.
QString formatOf(const QString &fileName)
{
    if (fileStart(fileName, 3) == QByteArray::fromHex("FFD8FF"))
        return QStringLiteral("jpeg");
    return fileStart(fileName, 8) == QByteArray::fromHex("89504E470D0A1A0A") ? QStringLiteral("png")
                                                                             : QString();
}

bool hasCurve(const QString &fileName)
{
    const QImage image = QImage(fileName).convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == kCurve)
                return true;
    return false;
}

} // namespace

Q_DECLARE_METATYPE(QMessageBox::StandardButton)

// The window's output actions: CSV export, printing, chart images, the manual and Test.
class TestOutput : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void exportWritesTheTableAndOffersToOpenIt_data();
    void exportWritesTheTableAndOffersToOpenIt();
    void exportThatCannotWriteSaysSo_data();
    void exportThatCannotWriteSaysSo();
    void cancelledDialogWritesNothing_data();
    void cancelledDialogWritesNothing();
    void printOpensThePreviewOfTheTable();
    void chartImageNamesFollowTheChosenName_data();
    void chartImageNamesFollowTheChosenName();
    void chartsAreSavedUnderTheChosenName_data();
    void chartsAreSavedUnderTheChosenName();
    void manualIsLookedUpInTheWorkingDirectory();
    void testActionReleasesThePendingCommand();

private:
    void addRows(int count);
    void trigger(const char *action, QMessageBox::StandardButton answer = QMessageBox::Ok);
    QStringList filesIn(const QTemporaryDir &dir) const;

    std::unique_ptr<WindowRig> m_rig;
    DesktopCatcher m_desktop;
    std::shared_ptr<PretendUser> m_user;
    SeenBox m_seen;
    QString m_workingDirectory;
};

void TestOutput::initTestCase()
{
    registerResources();
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &m_desktop, "open");
    m_workingDirectory = QDir::currentPath();
}

void TestOutput::init()
{
    m_rig = std::make_unique<WindowRig>();
    m_user = std::make_shared<PretendUser>();
    m_rig->window->setSaveNameAsker(
        [user = m_user](QWidget *parent, const QString &caption, const QString &filter) {
            ++user->asked;
            user->parent = parent;
            user->question = QStringList{caption, filter};
            return user->answer;
        });
    m_desktop.opened.clear();
    m_seen = SeenBox();
}

void TestOutput::cleanup()
{
    QDir::setCurrent(m_workingDirectory);
    m_rig.reset();
}

// Rows of DC voltage readings, one second apart.
void TestOutput::addRows(int count)
{
    for (int i = 0; i < count; ++i)
        m_rig->deliver(2, QString::fromLatin1(recordsamples::displays().at(i % 2).text));
}

// Triggers the action, answering every message box it opens with the button.
void TestOutput::trigger(const char *action, QMessageBox::StandardButton answer)
{
    const auto dismisser = dismissMessageBoxes(&m_seen, answer);
    m_rig->action(action)->trigger();
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
    addRows(2);
    m_user->answer = dir.filePath("run.csv");
    trigger("actionExport", answer);

    QCOMPARE(m_user->parent, m_rig->window.get());
    QCOMPARE(m_user->question, (QStringList{"Export the data to a CSV file.", "CSV(*.csv)"}));
    QCOMPARE(testfiles::readAll(m_user->answer),
             QByteArray("No.,Date/Time,Function,Range,Value,Unit\n"
                        "1,2024-03-05 14:07:09,DCV,6, 1.234 ,V\n"
                        "2,2024-03-05 14:07:10,DCV,6,-0.0123,V\n"));
    QCOMPARE(m_seen.count, 1);
    QCOMPARE(m_seen.text, QStringLiteral("The datas is exported successfully.\r\n"
                                         "Do you want to open this file?"));
    QVERIFY(m_seen.title.isEmpty());
    QCOMPARE(m_seen.icon, QMessageBox::Question);
    QCOMPARE(m_seen.buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(m_desktop.opened,
             opens ? QList<QUrl>{QUrl::fromLocalFile(m_user->answer)} : QList<QUrl>{});
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
    addRows(1);
    m_user->answer = name.isEmpty() ? dir.path() : dir.filePath(name);
    trigger("actionExport");
    QCOMPARE(m_seen.count, 1);
    QCOMPARE(m_seen.text, QStringLiteral("The datas is exported failed."));
    QCOMPARE(m_seen.icon, QMessageBox::Information);
    QCOMPARE(m_seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(m_desktop.opened.isEmpty());
    QCOMPARE(filesIn(dir), QStringList());
}

void TestOutput::cancelledDialogWritesNothing_data()
{
    QTest::addColumn<QString>("action");
    QTest::newRow("export") << QStringLiteral("actionExport");
    QTest::newRow("chart image") << QStringLiteral("actionSaveImage");
}

void TestOutput::cancelledDialogWritesNothing()
{
    QFETCH(QString, action);
    QTemporaryDir dir;
    QVERIFY(QDir::setCurrent(dir.path()));
    addRows(3);
    m_rig->window->show();
    trigger(qPrintable(action), QMessageBox::Yes);
    QCOMPARE(m_user->asked, 1);
    QCOMPARE(m_seen.count, 0);
    QCOMPARE(filesIn(dir), QStringList());
}

void TestOutput::printOpensThePreviewOfTheTable()
{
    addRows(200); // enough rows for several pages on any paper size
    int pages = 0;
    const auto closer = handleModalDialog<QPrintPreviewDialog>([&](QPrintPreviewDialog *preview) {
        const auto *view = preview->findChild<QPrintPreviewWidget *>();
        (void)QTest::qWaitFor([view] { return view->pageCount() > 0; }, 5000); // checked below
        pages = view->pageCount();
        preview->reject();
    });
    m_rig->action("actionPrint")->trigger();
    QVERIFY2(pages > 1, qPrintable(QString::number(pages)));
}

void TestOutput::chartImageNamesFollowTheChosenName_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("first"); // the second is the same with _2
    const auto row = [](const char *name, const QString &chosen, const QString &first) {
        QTest::newRow(name) << chosen << first;
    };
    row("plain", "/data/run.jpg", "/data/run_1.jpg");
    row("middle part dropped", "/data/run.old.jpg", "/data/run_1.jpg");
    row("no suffix ends in a dot", "/data/run", "/data/run_1.");
    row("dots in the directory", "/data/v1.2/run.png", "/data/v1.2/run_1.png");
    row("percent signs stay text", "/data/%1 50%/run%2.jpg", "/data/%1 50%/run%2_1.jpg");
    row("hidden name", "/data/.jpg", "/data/_1.jpg");
    row("in the root", "/run.jpg", "/run_1.jpg");
    row("relative to the working directory", "out/run.jpg",
        QDir::current().filePath("out/run_1.jpg"));
}

void TestOutput::chartImageNamesFollowTheChosenName()
{
    QFETCH(QString, chosen);
    QFETCH(QString, first);
    const ChartImageNames names = chartImageNames(chosen);
    QCOMPARE(names.first, first);
    QCOMPARE(names.second, QString(first).replace(QLatin1String("_1."), QLatin1String("_2.")));
}

void TestOutput::chartsAreSavedUnderTheChosenName_data()
{
    QTest::addColumn<bool>("bothCharts");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("format");
    QTest::newRow("one chart, jpeg") << false << "run.jpg" << QStringList{"run.jpg"} << "jpeg";
    QTest::newRow("one chart, png despite the filter")
        << false << "run.png" << QStringList{"run.png"} << "png";
    QTest::newRow("one chart, two dots")
        << false << "run.old.jpg" << QStringList{"run.old.jpg"} << "jpeg";
    QTest::newRow("both, numbered")
        << true << "run.old.jpg" << QStringList{"run_1.jpg", "run_2.jpg"} << "jpeg";
    QTest::newRow("both, png") << true << "pair.png" << QStringList{"pair_1.png", "pair_2.png"}
                               << "png";
    QTest::newRow("both, no suffix names no format") << true << "run" << QStringList{} << "";
}

void TestOutput::chartsAreSavedUnderTheChosenName()
{
    QFETCH(bool, bothCharts);
    QFETCH(QString, name);
    QFETCH(QStringList, files);
    QFETCH(QString, format);
    QTemporaryDir dir;
    addRows(4); // only the first chart has a curve
    m_rig->child<DMMChart>("chart2")->setVisible(bothCharts);
    m_rig->window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_rig->window.get()));
    m_user->answer = dir.filePath(name);
    trigger("actionSaveImage");

    QCOMPARE(m_user->question,
             (QStringList{"Export the chart to a JPEG file.", "JPEG File(*.jpg)"}));
    QCOMPARE(filesIn(dir), files);
    for (int i = 0; i < files.size(); ++i) {
        const QString file = dir.filePath(files.at(i));
        QCOMPARE(formatOf(file), format);
        const auto *chart = m_rig->child<DMMChart>(i == 0 ? "chart" : "chart2");
        QCOMPARE(QImage(file).size(), chart->size());
        if (format == QLatin1String("png")) // lossless: the curve's colour is exact
            QCOMPARE(hasCurve(file), i == 0);
    }
}

void TestOutput::manualIsLookedUpInTheWorkingDirectory()
{
    const QString manual = QStringLiteral("Software User Manual.pdf");
    QTemporaryDir first;
    QTemporaryDir second;
    // A manual beside the program is not the one opened from another working directory.
    QVERIFY(QDir::setCurrent(first.path()));
    m_rig->action("actionManual")->trigger();
    QVERIFY(QDir::setCurrent(second.path()));
    m_rig->action("actionManual")->trigger();
    const QUrl inSecond = QUrl::fromLocalFile(second.filePath(manual));
    QCOMPARE(m_desktop.opened,
             (QList<QUrl>{QUrl::fromLocalFile(first.filePath(manual)), inSecond}));
}

void TestOutput::testActionReleasesThePendingCommand()
{
    m_rig->action("actionTest")->trigger(); // harmless while no command thread runs
    m_rig->useFakeLinks(FakeScript());      // a meter that never answers
    // Unanswered, the poll would be sent again only after ten minutes.
    CommandPoolThread::Timing timing;
    timing.replyWaitMs = 600000;
    timing.restMs = 0;
    m_rig->dmm()->setThreadTiming(timing);
    QVERIFY(m_rig->dmm()->open());
    QTRY_COMPARE(m_rig->latestLink->written().size(), 1);
    for (int sent = 2; sent <= 3; ++sent) {
        m_rig->action("actionTest")->trigger();
        QTRY_COMPARE(m_rig->latestLink->written().size(), sent);
        QCOMPARE(m_rig->latestLink->written().last(), FakeLink::pollFrame());
    }
}

QTEST_MAIN(TestOutput)
#include "tst_output.moc"
