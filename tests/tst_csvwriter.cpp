#include "meter/functionentry.h"
#include "record/chartpointstore.h"
#include "record/csvwriter.h"
#include "record/datamodel.h"
#include "record/journal.h"
#include "record/recordingreader.h"
#include "recordsamples.h"
#include "testfiles.h"

#include <QBuffer>
#include <QSignalSpy>
#include <QStringListModel>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

#include <memory>

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

const QDateTime kStart(QDate(2024, 5, 1), QTime(12, 30, 5));

QStringList journalNames(const QString &directory)
{
    return QDir(directory).entryList(QDir::Files, QDir::Name);
}

QByteArray csvOf(const QAbstractItemModel &model)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    return writeCsv(&model, buffer) ? buffer.data() : QByteArray("<failed>");
}

} // namespace

class TestCsvWriter : public QObject
{
    Q_OBJECT
    void fillRecordTable(int count)
    {
        recordsamples::generateRecording(m_setup.defaultTable, count,
                                         QDateTime(QDate(2024, 5, 1), QTime(12, 0)),
                                         [this](DmmData *data) { m_model->appendRecord(data); });
    }

    recordsamples::RecordSetup m_setup;
    std::unique_ptr<DataModel> m_model;
    std::unique_ptr<QTemporaryDir> m_dir;

private slots:
    void init()
    {
        m_model.reset(new DataModel(m_setup.columns));
        m_dir.reset(new QTemporaryDir);
    }

    void rowsAreWrittenAsTheTableShowsThem()
    {
        QTemporaryDir dir;
        const QByteArray header = "No.,Date/Time,Function,Range,Value,Unit\n";
        const QString name = dir.filePath("rows.csv");
        QVERIFY(writeCsv(m_model.get(), name));
        QCOMPARE(testfiles::readAll(name), header);
        // A longer file of the same name is replaced.
        QVERIFY(testfiles::writeAll(name, QByteArray(5000, 'x')));
        fillRecordTable(3);
        QVERIFY(writeCsv(m_model.get(), name));
        QCOMPARE(testfiles::readAll(name), header + "1,2024-05-01 12:00:00,DCV,60, 1.234 ,V\n"
                                                    "2,2024-05-01 12:00:01,DCV,60,-0.0123,V\n"
                                                    "3,2024-05-01 12:00:02,DCV,60,  O.L  ,V\n");
    }

    void fieldIsQuotedOnlyWhenNeeded_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("written");
        const auto row = [](const char *name, const char *field, const char *written) {
            QTest::newRow(name) << QString(field) << QString(written);
        };
        row("spaces", "  O.L  ", "  O.L  ");
        row("empty", "", "");
        row("semicolon and tab", "a;b\tc", "a;b\tc");
        row("comma", "RES, 4-wire", "\"RES, 4-wire\"");
        row("quotes", "say \"hi\"", "\"say \"\"hi\"\"\"");
        row("lone quote", "\"", "\"\"\"\"");
        row("line feed", "two\nlines", "\"two\nlines\"");
        row("carriage return", "cr\rhere", "\"cr\rhere\"");
    }

    void fieldIsQuotedOnlyWhenNeeded()
    {
        QFETCH(QString, field);
        QFETCH(QString, written);
        QCOMPARE(QString::fromUtf8(csvOf(QStringListModel({field}))),
                 QStringLiteral("1\n%1\n").arg(written));
    }

    void textIsWrittenInLocalEncoding()
    {
        const QStringListModel units({QString::fromUtf8("K\xCE\xA9\xC2\xB5")});
        QTextCodec::setCodecForLocale(QTextCodec::codecForName("ISO-8859-1"));
        const QByteArray latin1 = csvOf(units);
        QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
        const QByteArray utf8 = csvOf(units);
        QTextCodec::setCodecForLocale(nullptr);
        // Ohm has no Latin-1 code and becomes the substitute; micro is the single byte 0xB5.
        QCOMPARE(latin1, QByteArray("1\nK?\xB5\n"));
        // No byte order mark before the UTF-8 text.
        QCOMPARE(utf8, QByteArray("1\nK\xCE\xA9\xC2\xB5\n"));
    }

    void failedWriteIsReportedAndKeepsTheOldFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("shortBy"); // what the disk lacks for the export; 0 for enough room
        // A plain file where a folder is expected stops every user, the super-user too.
        QTest::newRow("in a plain file") << "old.csv/out.csv" << 0;
        QTest::newRow("disk full in the middle") << "old.csv" << 100 * 1024;
        QTest::newRow("disk full at the last byte") << "old.csv" << 1;
        QTest::newRow("a full device") << "full" << 0;
    }

    void failedWriteIsReportedAndKeepsTheOldFile()
    {
        QFETCH(QString, name);
        QFETCH(int, shortBy);
        QTemporaryDir dir;
        const QString old = dir.filePath("old.csv");
        QVERIFY(testfiles::writeAll(old, "old\n"));
        // A device that reports a full disk on every write, made here when this user may create
        // devices, else a link to the system's.
        const QString full = dir.filePath("full");
        if (::mknod(QFile::encodeName(full).constData(), S_IFCHR | 0666, makedev(1, 7)) != 0)
            QVERIFY(QFile::link("/dev/full", full));
        fillRecordTable(5000);
        {
            const int size = csvOf(*m_model).size();
            testfiles::FileSizeLimit limit(shortBy ? rlim_t(size - shortBy) : RLIM_INFINITY);
            QVERIFY(limit.isActive());
            QVERIFY(!writeCsv(m_model.get(), dir.filePath(name)));
        }
        QCOMPARE(testfiles::readAll(old), QByteArray("old\n"));
        // The device is written in place, never replaced by a file; no unfinished copy is left.
        QVERIFY(!QFileInfo(full).isFile());
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
                 QStringList({"full", "old.csv"}));
        // With room again the same export succeeds.
        QVERIFY(writeCsv(m_model.get(), old));
        QCOMPARE(testfiles::readAll(old).count('\n'), 5001);
    }

    // The journal: a CSV file written line by line while recording.
    void eachStartBeginsAFileNamedAfterItsTime()
    {
        const QString folder = m_dir->filePath("new/folder");
        Journal journal(folder);
        QSignalSpy failed(&journal, &Journal::failed);
        QVERIFY(!journal.append({"before any start"}));
        // Each line is on disk when append returns; names already taken get a counter.
        for (const QString &name :
             QStringList{"12-30-05", "12-31-05", "12-30-05-1", "12-30-05-2"}) {
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

    // The reader goes through a file in chunks, reporting each: a cancel stops it, and a file
    // cut short while it is read (removed from a stick, overwritten) is refused, not half read.
    void readerStopsOnCancelAndOnAFileCutShort()
    {
        fillRecordTable(1000);
        const QString name = m_dir->filePath("run.csv");
        QVERIFY(writeCsv(m_model.get(), name));
        const qint64 size = QFileInfo(name).size();
        for (const bool cancel : {true, false}) {
            RecordingReader reader({&m_setup.defaultTable}, {englishRecordColumnTitles()});
            reader.setChunkSize(4096);
            QList<qint64> progress;
            reader.setProgress([&](qint64 done, qint64 total) {
                progress << done << total;
                // Cancelled, or the file shrinks under the reader.
                cancel ? reader.cancel() : void(QFile::resize(name, 4096));
            });
            DataModel table(m_setup.columns);
            ChartPointStore chart, second;
            const RecordingReader::Result result = reader.read(name, {&table, &chart, &second});
            QCOMPARE(progress, (QList<qint64>{4096, size}));
            QCOMPARE(result.outcome, cancel ? RecordingReader::Outcome::Cancelled
                                            : RecordingReader::Outcome::Refused);
            QCOMPARE(result.line, cancel ? 0 : table.rowCount() + 2); // the line it stopped in
        }
    }

    void pruneKeepsTheNewest_data()
    {
        QTest::addColumn<QString>("files"); // oldest first, name:size; a name ending in / a folder
        QTest::addColumn<int>("quota");
        QTest::addColumn<QString>("left");
        QTest::addColumn<bool>("running"); // a journal started at kStart runs
        const QString day = "2024-01-01_00-00-0";
        QStringList hundred;
        for (int i = 0; i < 100; ++i)
            hundred << QString("2024-01-01_%1-%2-00.csv")
                           .arg(i / 60, 2, 10, QChar('0'))
                           .arg(i % 60, 2, 10, QChar('0'));
        // No limit by number: a hundred short recordings fill a tenth of a small quota.
        QTest::newRow("a hundred files")
            << hundred.join(":10 ") + ":10" << 10000 << hundred.join(' ') << false;
        // The counter orders journals of one second: "-10" is newer than "-2", newer than none.
        // The newest that fit stay; the oldest go first, the small oldest one too.
        QTest::newRow("by size, oldest first")
            << "2023-12-31_23-59-59.csv:1 " + day + "0-10.csv:100 " + day + "0.csv:100 " + day +
                   "0-2.csv:100 " + day + "1.csv:100"
            << 250 << day + "0-10.csv " + day + "1.csv" << false;
        QTest::newRow("other files stay")
            << "notes.csv:1 " + day + "0.txt:1 " + day + "0.csv.bak:1 " + day + "0.csv:1 " + day +
                   "1.csv/"
            << 0 << day + "0.csv.bak " + day + "0.txt notes.csv" << false;
        // The oldest by its name, yet never removed.
        QTest::newRow("running journal stays")
            << "2024-06-01_00-00-00.csv:1 2024-07-01_00-00-00.csv:1" << 0
            << "2024-05-01_12-30-05.csv" << true;
    }

    void pruneKeepsTheNewest()
    {
        QFETCH(QString, files);
        QFETCH(int, quota);
        QFETCH(QString, left);
        QFETCH(bool, running);
        QStringList removable; // oldest first
        for (const QString &file : files.split(' ')) {
            const QString name = file.section(':', 0, 0);
            const QByteArray content(file.section(':', 1).toInt(), 'x');
            QVERIFY(name.endsWith('/') ? QDir(m_dir->path()).mkdir(name)
                                       : testfiles::writeAll(m_dir->filePath(name), content));
            if (name.endsWith(".csv") && name.startsWith('2') && !left.split(' ').contains(name))
                removable << name;
        }
        Journal journal(m_dir->path());
        QVERIFY(!running || journal.start({"A"}, kStart));
        const QStringList removed = journal.prune(quota);
        QCOMPARE(removed.size(), removable.size());
        for (int i = 0; i < removed.size(); ++i)
            QVERIFY2(removed[i].contains(m_dir->filePath(removable[i])), qPrintable(removed[i]));
        QCOMPARE(journalNames(m_dir->path()), left.split(' '));
        QCOMPARE(journal.prune(quota), QStringList());
        QCOMPARE(journal.append({"still here"}), running);
    }

    void fullDiskKeepsWholeLinesAndReportsOnce()
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
        QCOMPARE(testfiles::readAll(m_dir->filePath("2024-05-01_12-30-05.csv")), expected);
        // Recording goes on without the journal until the next start, which opens a new file.
        QVERIFY(!journal.append({"5", "value-000005"}));
        QVERIFY(journal.start({"No.", "Value"}, kStart));
        QVERIFY(journal.append({"1", "value-000006"}));
        QCOMPARE(failed.count(), 1);
    }
};

QTEST_GUILESS_MAIN(TestCsvWriter)
#include "tst_csvwriter.moc"
