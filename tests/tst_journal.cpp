#include "meter/functionentry.h"
#include "record/columnspec.h"
#include "record/csvformat.h"
#include "record/csvwriter.h"
#include "record/datamodel.h"
#include "record/journal.h"
#include "recordsamples.h"
#include "testfiles.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const QDateTime kStart(QDate(2024, 5, 1), QTime(12, 30, 5));

QStringList journalNames(const QString &directory)
{
    return QDir(directory).entryList(QDir::Files, QDir::Name);
}

} // namespace

class TestJournal : public QObject
{
    Q_OBJECT
private slots:
    void init();

    void linesMatchTheExport();
    void eachStartBeginsAFileNamedAfterItsTime();
    void pruneKeepsTheNewest_data();
    void pruneKeepsTheNewest();
    void pruneNeverRemovesRunningJournal();
    void unwritableFolderIsReportedOnce();
    void fullDiskKeepsWholeLinesAndReportsOnce();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestJournal::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
}

void TestJournal::linesMatchTheExport()
{
    recordsamples::RecordSetup setup;
    DataModel model(setup.columns);
    for (DmmData *data : recordsamples::everyRowReadings(setup.defaultTable, setup.eTable, kStart))
        model.appendRecord(data);
    Journal journal(path("journal"));
    QVERIFY(journal.start(csvHeaderFields(&model), kStart));
    for (int row = 0; row < model.rowCount(); ++row)
        QVERIFY(journal.append(csvRowFields(&model, row)));
    const QString journalFile = journal.fileName();
    journal.stop();
    QVERIFY(writeCsv(&model, path("export.csv")));
    QCOMPARE(testfiles::readAll(journalFile), testfiles::readAll(path("export.csv")));
}

void TestJournal::eachStartBeginsAFileNamedAfterItsTime()
{
    const QString folder = path("new/folder");
    Journal journal(folder);
    QSignalSpy failed(&journal, &Journal::failed);
    QVERIFY(!journal.append({"before any start"}));
    QVERIFY(journal.start({"A"}, kStart));
    QCOMPARE(journal.fileName(), folder + "/2024-05-01_12-30-05.csv");
    // Each line is on disk when append returns.
    QVERIFY(journal.append({"a,b"}));
    QCOMPARE(testfiles::readAll(journal.fileName()), QByteArray("A\n\"a,b\"\n"));
    QVERIFY(journal.start({"A"}, kStart.addSecs(60)));
    QVERIFY(journal.append({"second"}));
    // Names already taken get a counter.
    QVERIFY(journal.start({"A"}, kStart));
    QVERIFY(journal.start({"A"}, kStart));
    journal.stop();
    QVERIFY(!journal.isActive());
    QVERIFY(!journal.append({"after the stop"}));
    QCOMPARE(failed.count(), 0);
    QCOMPARE(journalNames(folder),
             QStringList({"2024-05-01_12-30-05-1.csv", "2024-05-01_12-30-05-2.csv",
                          "2024-05-01_12-30-05.csv", "2024-05-01_12-31-05.csv"}));
    QCOMPARE(testfiles::readAll(folder + "/2024-05-01_12-30-05.csv"), QByteArray("A\n\"a,b\"\n"));
    QCOMPARE(testfiles::readAll(folder + "/2024-05-01_12-31-05.csv"), QByteArray("A\nsecond\n"));
    QCOMPARE(testfiles::readAll(folder + "/2024-05-01_12-30-05-2.csv"), QByteArray("A\n"));
}

void TestJournal::pruneKeepsTheNewest_data()
{
    QTest::addColumn<QStringList>("files"); // name:size, oldest first; a name ending in / a folder
    QTest::addColumn<int>("keep");
    QTest::addColumn<int>("bytes");
    QTest::addColumn<QStringList>("left");
    // The counter orders journals of one second: "-10" is newer than "-2", which is newer than
    // none.
    QTest::newRow("by count") << QStringList{"2023-12-31_23-59-59.csv:10",
                                             "2024-01-01_00-00-00.csv:10",
                                             "2024-01-01_00-00-00-2.csv:10",
                                             "2024-01-01_00-00-00-10.csv:10",
                                             "2024-02-01_08-00-00.csv:10"}
                              << 3 << int(Journal::kMaxBytes)
                              << QStringList{"2024-01-01_00-00-00-10.csv",
                                             "2024-01-01_00-00-00-2.csv",
                                             "2024-02-01_08-00-00.csv"};
    // The third newest would pass the limit; the small oldest one goes with it.
    QTest::newRow("by size") << QStringList{"2024-01-01_00-00-01.csv:10",
                                            "2024-01-01_00-00-02.csv:100",
                                            "2024-01-01_00-00-03.csv:100",
                                            "2024-01-01_00-00-04.csv:100"}
                             << 100 << 250
                             << QStringList{"2024-01-01_00-00-03.csv", "2024-01-01_00-00-04.csv"};
    QTest::newRow("other files stay")
        << QStringList{"notes.csv:10", "2024-01-01_00-00-00.txt:10",
                       "2024-01-01_00-00-00.csv.bak:10", "2024-01-01_00-00-00.csv:10",
                       "2024-01-02_00-00-00.csv/"}
        << 0 << 0
        << QStringList{"2024-01-01_00-00-00.csv.bak", "2024-01-01_00-00-00.txt", "notes.csv"};
}

void TestJournal::pruneKeepsTheNewest()
{
    QFETCH(QStringList, files);
    QFETCH(int, keep);
    QFETCH(int, bytes);
    QFETCH(QStringList, left);
    const QRegularExpression journalName("^[0-9_-]+\\.csv$");
    int journals = 0;
    for (const QString &file : files) {
        const QString name = file.section(':', 0, 0);
        const QByteArray content(file.section(':', 1).toInt(), 'x');
        QVERIFY(name.endsWith('/') ? QDir(m_dir->path()).mkdir(name)
                                   : testfiles::writeAll(path(name), content));
        journals += journalName.match(name).hasMatch();
    }
    Journal journal(m_dir->path());
    QCOMPARE(journal.prune(keep, bytes), journals - left.filter(journalName).size());
    QCOMPARE(journalNames(m_dir->path()), left);
    // A folder with a journal's name is no journal.
    for (const QString &file : files.filter(QRegularExpression("/$")))
        QVERIFY(QFileInfo(path(file)).isDir());
    QCOMPARE(journal.prune(keep, bytes), 0);
}

void TestJournal::pruneNeverRemovesRunningJournal()
{
    QVERIFY(testfiles::writeAll(path("2024-06-01_00-00-00.csv"), "x"));
    QVERIFY(testfiles::writeAll(path("2024-07-01_00-00-00.csv"), "x"));
    Journal journal(m_dir->path());
    QVERIFY(journal.start({"A"}, kStart)); // named before the others
    QCOMPARE(journal.prune(1, Journal::kMaxBytes), 1);
    QCOMPARE(journalNames(m_dir->path()),
             QStringList({"2024-05-01_12-30-05.csv", "2024-07-01_00-00-00.csv"}));
    QCOMPARE(journal.prune(0, 0), 1);
    QCOMPARE(journalNames(m_dir->path()), QStringList({"2024-05-01_12-30-05.csv"}));
    QVERIFY(journal.append({"still here"}));
}

void TestJournal::unwritableFolderIsReportedOnce()
{
    // A plain file where the folder should be stops every user, the super-user too.
    QVERIFY(testfiles::writeAll(path("blocker"), "x"));
    Journal journal(path("blocker/journal"));
    QSignalSpy failed(&journal, &Journal::failed);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("journal"));
    QVERIFY(!journal.start({"A"}, kStart));
    QCOMPARE(failed.count(), 1);
    QVERIFY(!journal.errorString().isEmpty());
    QCOMPARE(failed.at(0).at(0).toString(), journal.errorString());
    for (int i = 0; i < 3; ++i)
        QVERIFY(!journal.append({"1"}));
    QCOMPARE(failed.count(), 1);

    // The next start tries again, and succeeds once the folder can be made.
    QVERIFY(QFile::remove(path("blocker")));
    QVERIFY(journal.start({"A"}, kStart));
    QVERIFY(journal.errorString().isEmpty());
    QVERIFY(journal.append({"1"}));
    QCOMPARE(failed.count(), 1);
}

void TestJournal::fullDiskKeepsWholeLinesAndReportsOnce()
{
    Journal journal(m_dir->path());
    QSignalSpy failed(&journal, &Journal::failed);
    QVERIFY(journal.start({"No.", "Value"}, kStart));
    const QByteArray expected = "No.,Value\n1,value-000001\n2,value-000002\n";
    {
        // Room for the header and a little more than two lines of 16 bytes.
        testfiles::FileSizeLimit limit(rlim_t(10 + 40));
        QVERIFY(limit.isActive());
        QVERIFY(journal.append({"1", "value-000001"}));
        QVERIFY(journal.append({"2", "value-000002"}));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("journal"));
        QVERIFY(!journal.append({"3", "value-000003"}));
        QVERIFY(!journal.append({"4", "value-000004"}));
    }
    QCOMPARE(failed.count(), 1);
    QVERIFY(!journal.isActive());
    QCOMPARE(testfiles::readAll(path("2024-05-01_12-30-05.csv")), expected);
    // Recording goes on without the journal until the next start, which opens a new file.
    QVERIFY(!journal.append({"5", "value-000005"}));
    QVERIFY(journal.start({"No.", "Value"}, kStart));
    QVERIFY(journal.append({"1", "value-000006"}));
    QCOMPARE(failed.count(), 1);
}

QTEST_GUILESS_MAIN(TestJournal)
#include "tst_journal.moc"
