#include "record/journal.h"
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

    void eachStartBeginsAFileNamedAfterItsTime();
    void pruneKeepsTheNewest_data();
    void pruneKeepsTheNewest();
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

void TestJournal::eachStartBeginsAFileNamedAfterItsTime()
{
    const QString folder = path("new/folder");
    Journal journal(folder);
    QSignalSpy failed(&journal, &Journal::failed);
    QVERIFY(!journal.append({"before any start"}));
    // Each line is on disk when append returns; names already taken get a counter.
    for (const QString &name : QStringList{"12-30-05", "12-31-05", "12-30-05-1", "12-30-05-2"}) {
        QVERIFY(journal.start({"A"}, kStart.addSecs(name.startsWith("12-31") ? 60 : 0)));
        QCOMPARE(journal.fileName(), folder + "/2024-05-01_" + name + ".csv");
        QVERIFY(journal.append({"a,b"}));
        QCOMPARE(testfiles::readAll(journal.fileName()), QByteArray("A\n\"a,b\"\n"));
    }
    journal.stop();
    QVERIFY(!journal.isActive());
    QVERIFY(!journal.append({"after the stop"}));
    QCOMPARE(failed.count(), 0);
    QCOMPARE(journalNames(folder).size(), 4);
}

void TestJournal::pruneKeepsTheNewest_data()
{
    QTest::addColumn<QString>("files"); // oldest first, name:size; a name ending in / a folder
    QTest::addColumn<int>("keep");
    QTest::addColumn<int>("bytes");
    QTest::addColumn<QString>("left");
    QTest::addColumn<bool>("running"); // a journal started at kStart runs
    const QString day = "2024-01-01_00-00-0";
    // The counter orders journals of one second: "-10" is newer than "-2", newer than none.
    QTest::newRow("by count") << "2023-12-31_23-59-59.csv:1 " + day + "0.csv:1 " + day +
                                     "0-2.csv:1 " + day + "0-10.csv:1 " + day + "1.csv:1"
                              << 3 << 1000 << day + "0-10.csv " + day + "0-2.csv " + day + "1.csv"
                              << false;
    // The third newest would pass the limit; the small oldest one goes with it.
    QTest::newRow("by size") << day + "1.csv:10 " + day + "2.csv:100 " + day + "3.csv:100 " + day +
                                    "4.csv:100"
                             << 100 << 250 << day + "3.csv " + day + "4.csv" << false;
    QTest::newRow("other files stay")
        << "notes.csv:1 " + day + "0.txt:1 " + day + "0.csv.bak:1 " + day + "0.csv:1 " + day +
               "1.csv/"
        << 0 << 0 << day + "0.csv.bak " + day + "0.txt notes.csv" << false;
    // The oldest by its name, yet never removed.
    QTest::newRow("running journal stays") << "2024-06-01_00-00-00.csv:1 2024-07-01_00-00-00.csv:1"
                                           << 0 << 0 << "2024-05-01_12-30-05.csv" << true;
}

void TestJournal::pruneKeepsTheNewest()
{
    QFETCH(QString, files);
    QFETCH(int, keep);
    QFETCH(int, bytes);
    QFETCH(QString, left);
    QFETCH(bool, running);
    int journals = 0;
    for (const QString &file : files.split(' ')) {
        const QString name = file.section(':', 0, 0);
        const QByteArray content(file.section(':', 1).toInt(), 'x');
        QVERIFY(name.endsWith('/') ? QDir(m_dir->path()).mkdir(name)
                                   : testfiles::writeAll(path(name), content));
        journals += name.endsWith(".csv") && name.startsWith('2');
    }
    Journal journal(m_dir->path());
    QVERIFY(!running || journal.start({"A"}, kStart));
    QCOMPARE(journal.prune(keep, bytes),
             journals + running - left.split(' ').filter(QRegularExpression("^2.*csv$")).size());
    QCOMPARE(journalNames(m_dir->path()), left.split(' '));
    QCOMPARE(journal.prune(keep, bytes), 0);
    QCOMPARE(journal.append({"still here"}), running);
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
