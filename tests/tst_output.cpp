#include "app/resourcebundle.h"
#include "meter/linksupervisor.h"
#include "record/chartline.h"
#include "record/csvformat.h"
#include "record/datamodel.h"
#include "record/dmmchart.h"
#include "tests/modalboxes.h"
#include "tests/replyframe.h"
#include "tests/scratchsettings.h"
#include "tests/testfiles.h"
#include "tests/windowrig.h"

#include <QDesktopServices>
#include <QDir>
#include <QImageReader>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include <csignal>

namespace {

// Stands in for the desktop: records the files it is asked to open.
class DesktopCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened.append(url); }
};

// What the window shows of a recording: every table cell, the samples and hover labels of both
// charts, the charts as drawn (value axis with its prefix, time axis, curve) and the figures.
QStringList shown(const WindowRig &rig)
{
    QStringList shown{rig.window->statisticsText()};
    const DataModel *model = rig.window->recordModel();
    for (int row = 0; row < model->rowCount(); ++row)
        for (int column = 0; column < model->columnCount(); ++column)
            shown << model->cellText(row, column);
    for (DMMChart *chart : {rig.child<DMMChart>("chart"), rig.child<DMMChart>("chart2")}) {
        for (int i = 0; i < chart->line(0)->pointCount(); ++i) {
            const ChartPoint point = chart->line(0)->point(i);
            shown << point.time().toString(Qt::ISODateWithMs) + QString::number(point.value()) +
                         point.valueText() + point.label().toString();
        }
        const QImage image = chart->grab().toImage();
        shown << QString::number(qHashBits(image.constBits(), size_t(image.sizeInBytes())))
              << QString::number(chart->isHidden());
    }
    return shown;
}

} // namespace

Q_DECLARE_METATYPE(QMessageBox::StandardButton)

// The window's output actions: CSV export, printing, chart images, the manual and Test.
class TestOutput : public QObject
{
    Q_OBJECT
    std::unique_ptr<WindowRig> m_rig;
    DesktopCatcher m_desktop;
    SeenBox m_seen;
    QString m_workingDirectory = QDir::currentPath();
    QString m_suggested; // by the last save-file dialog
    const QString m_documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);

    void addRows(int count) // DC volts, a second apart
    {
        for (int i = 0; i < count; ++i)
            m_rig->deliver(2, QString::fromLatin1(recordsamples::displays().at(i % 2).text));
    }

    // Triggers the action, giving the name to the save-file dialog and answering every message
    // box with the button; waits until that many boxes were answered.
    void trigger(const char *action, const QString &name,
                 QMessageBox::StandardButton answer = QMessageBox::Ok, int boxes = 0)
    {
        m_rig->window->setSaveNameAsker([name, this](QWidget *parent, const QString &,
                                                     const QString &, const QString &suggested) {
            m_suggested = suggested;
            return parent == m_rig->window.get() ? name : QString();
        });
        const auto dismisser = dismissMessageBoxes(&m_seen, answer);
        m_rig->action(action)->trigger();
        QTRY_COMPARE(m_seen.count, boxes);
    }

    // Imports the file into the window, answering every box with Yes.
    void import(WindowRig &rig, const QString &name)
    {
        rig.window->setOpenNameAsker(
            [&](QWidget *, const QString &, const QString &filter, const QString &) {
                return filter == "CSV(*.csv)" ? name : "";
            });
        const auto dismisser = dismissMessageBoxes(&m_seen, QMessageBox::Yes);
        rig.action("actionImport")->trigger();
    }

private slots:
    void initTestCase()
    {
        registerResources();
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &m_desktop, "open");
    }

    void init()
    {
        QDir::setCurrent(m_workingDirectory);
        m_rig = std::make_unique<WindowRig>();
        m_desktop.opened.clear();
        m_seen = SeenBox();
    }

    void exportWritesTheTableOrSaysItFailed_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QMessageBox::StandardButton>("answer");
        QTest::addColumn<QString>("message");
        const QString written =
            "The datas is exported successfully.\r\nDo you want to open this file?";
        QTest::newRow("bare name gets .csv") << "run" << QMessageBox::Yes << written;
        QTest::newRow("missing directory")
            << "missing/run.csv" << QMessageBox::Ok << "The datas is exported failed.";
        // A folder where no file can be made, not even by root.
        QTest::newRow("folder without rights")
            << "/sys/run.csv" << QMessageBox::Ok << "The datas is exported failed.";
    }

    void exportWritesTheTableOrSaysItFailed()
    {
        QFETCH(QString, name);
        QFETCH(QMessageBox::StandardButton, answer);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString file = QDir::cleanPath(QDir(dir.path()).filePath(name));
        addRows(2);
        trigger("actionExport", file, answer, 1);
        // The first dialog starts in the documents folder, named after the first reading.
        QCOMPARE(m_suggested, QDir(m_documents).filePath("2024-03-05_14-07-09.csv"));
        QCOMPARE(m_seen.text, message);
        const bool written = message.startsWith("The datas is exported successfully");
        if (written) // the buttons that let the user open the file
            QCOMPARE(m_seen.buttons, QMessageBox::Yes | QMessageBox::No);
        else { // the file and the system's reason, which a chart image there meets as well
            QVERIFY2(m_seen.informative.startsWith(file + "\n") &&
                         m_seen.informative.size() > file.size() + 1,
                     qPrintable(m_seen.informative));
            const QString reason = m_seen.informative.mid(file.size());
            const QString image = QFileInfo(file).path() + "/run.jpg";
            trigger("actionSaveImage", image, QMessageBox::Ok, 2);
            QCOMPARE(m_seen.informative, image + reason);
        }
        // The header and the two rows; their layout is the CSV writer's.
        QCOMPARE(testfiles::readAll(dir.filePath("run.csv")).count('\n'), written ? 3 : 0);
        const bool opens = written && answer == QMessageBox::Yes;
        QCOMPARE(m_desktop.opened,
                 opens ? QList<QUrl>{QUrl::fromLocalFile(dir.filePath("run.csv"))} : QList<QUrl>{});
    }

    void chartsAreSavedUnderTheChosenName_data()
    {
        QTest::addColumn<bool>("bothCharts");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("format");
        QTest::newRow("one chart, name kept, png despite the filter")
            << false << "run.old.png" << QStringList{"run.old.png"} << "png";
        QTest::newRow("both, bare name gets .jpg")
            << true << "run" << QStringList{"run_1.jpg", "run_2.jpg"} << "jpeg";
    }

    void chartsAreSavedUnderTheChosenName()
    {
        QFETCH(bool, bothCharts);
        QFETCH(QString, name);
        QFETCH(QStringList, files);
        QFETCH(QString, format);
        // Names relative to the working directory, in a folder with a dot in its name.
        QTemporaryDir dir(QDir::tempPath() + "/klm704.output-XXXXXX");
        QVERIFY(QDir::setCurrent(dir.path()));
        addRows(4);
        m_rig->child<DMMChart>("chart2")->setVisible(bothCharts);
        m_rig->window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_rig->window.get()));
        trigger("actionSaveImage", name);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name), files);
        for (const QString &saved : files) // an image of its format, by its first bytes
            QCOMPARE(QImageReader::imageFormat(dir.filePath(saved)), format.toLatin1());
        QCOMPARE(m_seen.count, 0);
    }

    // The manual opened is the one in the working directory of the moment, else the one beside
    // the program.
    void manualIsLookedUpInTheWorkingDirectoryThenBesideTheProgram()
    {
        const QString name = QStringLiteral("Software User Manual.pdf");
        QTemporaryDir without, with;
        QVERIFY(testfiles::writeAll(with.filePath(name), "%PDF"));
        const auto dismisser = dismissMessageBoxes(&m_seen);
        for (const QTemporaryDir *dir : {&without, &with}) {
            QVERIFY(QDir::setCurrent(dir->path()));
            m_rig->action("actionManual")->trigger();
        }
        QCOMPARE(m_desktop.opened,
                 (QList<QUrl>{QUrl::fromLocalFile(
                                  QDir(QCoreApplication::applicationDirPath()).filePath(name)),
                              QUrl::fromLocalFile(with.filePath(name))}));
        QCOMPARE(m_seen.count, 0);
    }

    void importGivesBackTheExportedRecording_data()
    {
        QTest::addColumn<bool>("eTable");
        QTest::addColumn<int>("function");
        for (const bool eTable : {false, true})
            for (int function = 0; function <= 25; ++function)
                QTest::addRow("%s %d", eTable ? "E" : "default", function) << eTable << function;
    }

    // Readings decoded from the meter's frames, every range of one function with every kind of
    // display text, recorded by the window, exported, and opened in a second window.
    void importGivesBackTheExportedRecording()
    {
        QFETCH(bool, eTable);
        QFETCH(int, function);
        MyDmm *dmm = m_rig->dmm();
        dmm->setModel(eTable ? "VX310E" : "VX310A");
        const QDateTime start(QDate(2024, 3, 5), QTime(23, 59, 30));
        int readings = 0;
        for (int range = 0x30; range <= 0x37; ++range)
            for (const recordsamples::Display &display : recordsamples::displays()) {
                // AC+DC shows its couplings in turn; both belong to the one recording.
                const quint8 coupling = readings % 2 ? 0x08 : 0;
                DmmData *reading =
                    dmm->decode(replyFrame(function, range, display.text, 0, 0, coupling));
                if (!reading)
                    continue;
                // The file keeps whole seconds.
                reading->setTimestamp(start.addSecs(readings++ * 7));
                m_rig->deliver(reading);
            }
        if (readings == 0)
            QSKIP("the table has no such function");
        const QStringList recorded = shown(*m_rig);
        QTemporaryDir dir;
        trigger("actionExport", dir.filePath("run.csv"), QMessageBox::No, 1);

        WindowRig other;
        other.dmm()->setModel("VX310A"); // the rows are found in either table
        other.deliver(3);                // a table to be replaced, after the question
        import(other, dir.filePath("run.csv"));
        QCOMPARE(m_seen.texts.mid(1), QStringList{"Are you sure you want to delete this data?"});
        QCOMPARE(shown(other), recorded);
    }

    void importRefusesWhatIsNotARecording_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("error"); // empty: read, the cut last line left out
        const QByteArray header = "No.,Date/Time,Function,Range,Value,Unit\n";
        const QByteArray dcv = "1,2024-03-05 14:07:09,DCV,6, 1.234 ,V\n";
        QTest::newRow("cut journal") << header + dcv + "2,2024-03-05 14:07:1"
                                     << "";
        // The line end of a file from Windows is not part of the last field, quoted line or not.
        QTest::newRow("CRLF line ends")
            << QByteArray(header).replace('\n', "\r\n") +
                   "1,2024-03-05 14:07:09,DCV,6,\" 1.234 \",V\r\n2,2024-03-05 14:07:1"
            << "";
        QTest::newRow("garbled value") << header + dcv + "9,2026-12-08 00:51:44,DCV,6,  abc,V\n"
                                       << "Line 3: \"  abc\" is not a value the meter can show.";
        QTest::newRow("value wider than the display")
            << header + "1,2024-03-05 14:07:09,DCV,6, 1.2345 ,V\n"
            << "Line 2: the value \" 1.2345 \" is longer than the meter's display of 7 characters.";
        QTest::newRow("mixed functions")
            << header + dcv + dcv + "3,2024-03-05 14:07:11,ACV,6, 1.234 ,V\n"
            << "Line 4: the function changes from DCV to ACV; a recording holds one function.";
        QTest::newRow("foreign") << QByteArray("Name,Price\nTea,3\n")
                                 << "Line 1: the header is not that of a recording "
                                    "(No.,Date/Time,Function,Range,Value,Unit).";
        QTest::newRow("empty") << QByteArray() << "Line 1: the file is empty.";
    }

    // A file that is refused says where and why, and leaves the table and chart as they were.
    void importRefusesWhatIsNotARecording()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, error);
        QTemporaryDir dir;
        const QString file = dir.filePath("in.csv");
        QVERIFY(testfiles::writeAll(file, content));
        addRows(3);
        m_rig->window->show(); // laid out, as the box of a refusal would lay it out
        QVERIFY(QTest::qWaitForWindowExposed(m_rig->window.get()));
        const QStringList before = shown(*m_rig);
        import(*m_rig, file);
        const QString name = QDir::toNativeSeparators(file);
        if (error.isEmpty()) { // the complete line read, in place of the three rows
            QCOMPARE(m_seen.text,
                     "The last line (line 3) of " + name + " is incomplete and was left out.");
            QCOMPARE(shown(*m_rig).mid(1, 7),
                     QStringList({"1", "2024-03-05 14:07:09", "DCV", "6", " 1.234 ", "V",
                                  "2024-03-05T14:07:09.0001.234 1.234 2024-03-05 14:07:09: "
                                  "DCV  1.234 V"}));
            return;
        }
        QCOMPARE(m_seen.text, "The recording " + name + " cannot be opened.\n" + error);
        QCOMPARE(shown(*m_rig), before);
    }

    void killedRecordingIsOfferedAtTheNextStart_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("killed") << int(SIGKILL);
        QTest::newRow("closed normally: nothing to offer") << int(SIGTERM);
    }

    // The window program records from the virtual meter until it is killed; the next window finds
    // the note, offers the journal once, and opening it shows every reading the journal holds.
    // It shows the last row whole; connecting then, as --connect does, continues that recording
    // in its journal.
    void killedRecordingIsOfferedAtTheNextStart()
    {
        QFETCH(int, signal);
        ScratchSettings settings;
        QVERIFY(
            settings.write("<options><Infinite>1</Infinite><SampleRate>0</SampleRate></options>"));
        const QString folder = settings.filePath("journal");
        QProcess child;
        child.setEnvironment(QProcess::systemEnvironment() << "QT_QPA_PLATFORM=offscreen");
        child.start(KLM704_PROGRAM, {"--device", "sim", "--connect", "--journal", folder});
        QVERIFY(child.waitForStarted());
        const auto journal = [&folder] {
            const QStringList names = QDir(folder).entryList({"*.csv"});
            return names.size() == 1 ? folder + '/' + names.first() : QString();
        };
        QTRY_VERIFY_WITH_TIMEOUT(testfiles::readAll(journal()).count('\n') > 4, 30000);
        ::kill(pid_t(child.processId()), signal);
        QVERIFY(child.waitForFinished());
        QCOMPARE(child.exitStatus() == QProcess::NormalExit, signal == SIGTERM);
        const QList<QByteArray> lines = testfiles::readAll(journal()).split('\n').mid(1, -1);
        const int readings = lines.size() - 1; // after the last line end: nothing, or a cut line

        WindowRig rig;
        rig.window->useJournal(folder);
        rig.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.window.get()));
        const auto dismisser = dismissMessageBoxes(&m_seen, QMessageBox::Yes);
        rig.window->offerUnclosedRecording();
        if (signal == SIGTERM) {
            QCOMPARE(m_seen.texts, QStringList());
            return;
        }
        QCOMPARE(m_seen.texts,
                 QStringList(QString("The last recording (%1 readings, until %2) was not "
                                     "closed. Open it?")
                                 .arg(readings)
                                 .arg(QString(lines.at(readings - 1).split(',').at(1).mid(11)))));
        const DataModel *model = rig.window->recordModel();
        QCOMPARE(model->rowCount(), readings);
        for (int row = 0; row < readings; ++row)
            QCOMPARE(encodeCsv(csvLine(csvRowFields(model, row))), lines.at(row) + '\n');
        // The last row is in sight, whole, once the window has laid itself out anew.
        const auto *view = rig.child<QTableView>("tv");
        QTest::qWait(100);
        QVERIFY(view->viewport()->rect().contains(view->visualRect(model->index(readings - 1, 0))));
        rig.window->offerUnclosedRecording(); // asked once only
        QCOMPARE(m_seen.count, 1);

        rig.window->deviceLink()->setDevice("sim");
        rig.dmm()->setSampleRate(0);
        rig.window->pressConnect();
        QTRY_VERIFY_WITH_TIMEOUT(model->rowCount() >= readings + 3, 10000);
        rig.window->linkSupervisor()->close();
        const QList<QByteArray> continued = testfiles::readAll(journal()).split('\n');
        QCOMPARE(continued.mid(1, readings), lines.mid(0, readings));
        QCOMPARE(continued.size() - 2, model->rowCount()); // the header, and nothing after the end
        for (int row = readings; row < model->rowCount(); ++row)
            QCOMPARE(encodeCsv(csvLine(csvRowFields(model, row))), continued.at(row + 1) + '\n');
    }
};

QTEST_MAIN(TestOutput)
#include "tst_output.moc"
