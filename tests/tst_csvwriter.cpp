#include "record/csvexport.h"
#include "record/csvformat.h"
#include "record/csvwriter.h"
#include "record/datamodel.h"
#include "record/journal.h"
#include "record/readingstore.h"
#include "record/recordingimport.h"
#include "record/recordingreader.h"
#include "recordsamples.h"
#include "strictcsv.h"
#include "testfiles.h"

#include <QtTest>

namespace {

const QDateTime kStart(QDate(2024, 5, 1), QTime(12, 30, 5));

} // namespace

class TestCsvWriter : public QObject
{
    Q_OBJECT
    recordsamples::RecordSetup m_setup;
    DataModel m_model{m_setup.columns};
    QScopedPointer<QTemporaryDir> m_dir;

    void fillTable(int count)
    {
        m_model.clearRecords();
        recordsamples::generateRecording(m_setup.defaultTable, count, kStart.addSecs(-1805),
                                         [this](DmmData *data) { m_model.appendRecord(data); });
    }

private slots:
    void init() { m_dir.reset(new QTemporaryDir); }

    // Quoted only when needed, read back unchanged by a strict reader; UTF-8 without a byte order
    // mark in a UTF-8 locale.
    void fieldsAreQuotedOnlyWhenNeeded()
    {
        const QStringList fields =
            QString::fromUtf8(
                "  O.L  ||RES, 4-wire|say \"hi\"|two\nlines|cr\rhere|K\xCE\xA9\xC2\xB5")
                .split('|');
        QStringListModel column(fields);
        QTransposeProxyModel row;
        row.setSourceModel(&column);
        QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
        QBuffer buffer;
        QVERIFY(buffer.open(QIODevice::WriteOnly) && writeCsv(&row, buffer));
        QCOMPARE(
            buffer.data(),
            QByteArray("1,2,3,4,5,6,7\n  O.L  ,,\"RES, 4-wire\",\"say \"\"hi\"\"\",\"two\nlines\","
                       "\"cr\rhere\",K\xCE\xA9\xC2\xB5\n"));
        QList<QStringList> records;
        QVERIFY(readCsvStrictly(QString::fromUtf8(buffer.data()), records));
        QCOMPARE(records.value(1), fields);
    }

    // The record table's rows, written the fast way, are the bytes of its cell texts joined and
    // encoded the plain way: readings of every function, texts to be quoted, texts beyond
    // Latin-1 and beyond seven characters, no time and times weeks apart, in encodings that
    // keep ASCII and one that does not.
    void recordRowsAreTheTableTexts_data()
    {
        QTest::addColumn<QByteArray>("codec");
        QTest::newRow("UTF-8") << QByteArray("UTF-8");
        QTest::newRow("Latin-1") << QByteArray("ISO-8859-1");
        QTest::newRow("UTF-16") << QByteArray("UTF-16LE");
    }

    void recordRowsAreTheTableTexts()
    {
        QFETCH(QByteArray, codec);
        QList<DmmData *> readings =
            recordsamples::everyRowReadings(m_setup.defaultTable, m_setup.eTable, kStart);
        const QStringList texts = {"1,5", "\"2\"", "5\u00b5", "5\u03a9", "12345.678", "a\nb"};
        for (int i = 0; i < texts.size(); ++i) {
            readings.at(i)->setValueText(texts.at(i));
            readings.at(i + 7)->setFunctionName(texts.at(i));
        }
        readings.at(3)->setTimestamp(QDateTime());
        readings.at(4)->setTimestamp(kStart.addDays(-40));
        m_model.clearRecords();
        for (DmmData *reading : readings)
            m_model.appendRecord(reading);
        QTextCodec::setCodecForLocale(QTextCodec::codecForName(codec));
        QByteArray expected = encodeCsv(csvLine(csvHeaderFields(&m_model)));
        for (int row = 0; row < m_model.rowCount(); ++row)
            expected += encodeCsv(csvLine(csvRowFields(&m_model, row)));
        QBuffer buffer;
        QVERIFY(buffer.open(QIODevice::WriteOnly) && writeCsv(&m_model, buffer));
        QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
        QCOMPARE(buffer.data(), expected);
    }

    // Rows as the table shows them, replacing a longer file; on a disk full in the middle the
    // failure is reported, the old file kept and no unfinished copy left.
    void exportWritesTheRowsOrKeepsTheOldFile()
    {
        const QString old = m_dir->filePath("old.csv");
        QVERIFY(testfiles::writeAll(old, QByteArray(500000, 'x')));
        fillTable(5000);
        QVERIFY(writeCsv(&m_model, old));
        const QByteArray written = testfiles::readAll(old);
        QVERIFY(written.startsWith("No.,Date/Time,Function,Range,Value,Unit\n"
                                   "1,2024-05-01 12:00:00,DCV,60, 1.234 ,V\n"
                                   "2,2024-05-01 12:00:01,DCV,60,-0.0123,V\n"
                                   "3,2024-05-01 12:00:02,DCV,60,  O.L  ,V\n"));
        QVERIFY(written.count('\n') == 5001 && !written.contains('x'));
        QVERIFY(testfiles::writeAll(old, "old\n"));
        {
            testfiles::FileSizeLimit limit(rlim_t(written.size() - 100 * 1024));
            QVERIFY(!writeCsv(&m_model, old));
        }
        QCOMPARE(testfiles::readAll(old), QByteArray("old\n"));
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList("old.csv"));
    }

    // The export on a thread of its own writes the table as it was when it started, while rows
    // are appended and the table is cleared; a cancel leaves the old file as it was, and a file
    // that cannot be written says why.
    void exportOnItsThreadWritesTheTableAsItWas_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<QString>("outcome"); // the file afterwards, or the reason
        QTest::newRow("written") << "" << false << "the table";
        QTest::newRow("cancelled") << "" << true << "old\n";
        QTest::newRow("no folder") << "missing/" << false << "No such file or directory";
    }

    void exportOnItsThreadWritesTheTableAsItWas()
    {
        QFETCH(QString, folder);
        QFETCH(bool, cancel);
        QFETCH(QString, outcome);
        fillTable(100000); // some chunks, to be cancelled between
        QBuffer table;
        QVERIFY(table.open(QIODevice::WriteOnly) && writeCsv(&m_model, table));
        const QString name = m_dir->filePath(folder + "run.csv");
        QVERIFY(folder.isEmpty() == testfiles::writeAll(name, "old\n"));
        CsvExport job;
        QSignalSpy finished(&job, &CsvExport::finished);
        job.start(m_model, name);
        if (cancel)
            job.cancel();
        recordsamples::generateRecording(m_setup.defaultTable, 1000, kStart,
                                         [this](DmmData *data) { m_model.appendRecord(data); });
        m_model.clearRecords();
        QVERIFY(finished.wait());
        QCOMPARE(finished.first().at(0).toBool(), outcome == "the table");
        const QString error = finished.first().at(1).toString();
        QVERIFY2(folder.isEmpty() ? error.isEmpty() : error.contains(outcome), qPrintable(error));
        if (folder.isEmpty())
            QCOMPARE(testfiles::readAll(name),
                     outcome == "the table" ? table.data() : outcome.toLatin1());
    }

    // The import on a thread of its own reads a recording into stores of its own, reporting its
    // progress, while the window's table goes its own way; a cancel stops it.
    void importOnItsThreadReadsIntoItsOwnStores_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("read") << false;
        QTest::newRow("cancelled") << true;
    }

    void importOnItsThreadReadsIntoItsOwnStores()
    {
        QFETCH(bool, cancel);
        fillTable(100000);
        const QString name = m_dir->filePath("run.csv");
        QVERIFY(writeCsv(&m_model, name));
        RecordingImport import({&m_setup.defaultTable}, {englishRecordColumnTitles()},
                               m_setup.columns);
        QSignalSpy progress(&import, &RecordingImport::progress);
        QSignalSpy finished(&import, &RecordingImport::finished);
        import.start(name);
        if (cancel)
            import.cancel();
        m_model.clearRecords();
        QVERIFY(finished.wait());
        QCOMPARE(import.result().outcome,
                 cancel ? RecordingReader::Outcome::Cancelled : RecordingReader::Outcome::Read);
        if (cancel)
            return;
        QCOMPARE(progress.last().at(0).toLongLong(), QFileInfo(name).size());
        QBuffer readBack;
        QVERIFY(readBack.open(QIODevice::WriteOnly) && writeCsv(&import.table(), readBack));
        QCOMPARE(readBack.data(), testfiles::readAll(name));
    }

    // The journal: a CSV file written line by line while recording.
    void journalKeepsWholeLinesInFilesNamedAfterTheStart()
    {
        const QString folder = m_dir->filePath("new/folder");
        Journal journal(folder);
        // Each line is on disk when append returns; names already taken get a counter.
        for (const QString &name :
             QStringList{"12-30-05", "12-31-05", "12-30-05-1", "12-30-05-2"}) {
            QVERIFY(journal.start({"A"}, kStart.addSecs(name.startsWith("12-31") ? 60 : 0)));
            QCOMPARE(journal.fileName(), folder + "/2024-05-01_" + name + ".csv");
            QVERIFY(journal.append({"a,b"}));
            QCOMPARE(testfiles::readAll(journal.fileName()), QByteArray("A\n\"a,b\"\n"));
        }
        // A full disk: whole lines only, then no journal until the next start.
        QVERIFY(journal.start({"No.", "Value"}, kStart));
        const QString name = journal.fileName();
        {
            testfiles::FileSizeLimit limit(rlim_t(10 + 40)); // the header, two lines and a bit
            QVERIFY(journal.append({"1", "value-000001"}));
            QVERIFY(journal.append({"2", "value-000002"}));
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("journal"));
            QVERIFY(!journal.append({"3", "value-000003"}));
        }
        QVERIFY(!journal.isActive());
        QCOMPARE(testfiles::readAll(name),
                 QByteArray("No.,Value\n1,value-000001\n2,value-000002\n"));
    }

    // The reader goes through a file in chunks, reporting each: a cancel stops it, and a file
    // cut short while it is read (removed from a stick, overwritten) is refused, not half read.
    void readerStopsOnCancelAndOnAFileCutShort()
    {
        fillTable(1000);
        const QString name = m_dir->filePath("run.csv");
        QVERIFY(writeCsv(&m_model, name));
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
            ReadingStore chart, second;
            const RecordingReader::Result result = reader.read(name, {&table, &chart, &second});
            QCOMPARE(progress, (QList<qint64>{4096, size}));
            QCOMPARE(result.outcome, cancel ? RecordingReader::Outcome::Cancelled
                                            : RecordingReader::Outcome::Refused);
            QCOMPARE(result.line, cancel ? 0 : table.rowCount() + 2); // the line it stopped in
        }
    }

    void readerTakesTheHeaderOfEveryShippedLanguage_data()
    {
        QTest::addColumn<bool>("writtenInChinese");
        QTest::newRow("Chinese recording, English interface") << true;
        QTest::newRow("English recording, Chinese interface") << false;
    }

    // A recording exported in one language opens in the other, and asking for the headers does
    // not change the interface's language.
    void readerTakesTheHeaderOfEveryShippedLanguage()
    {
        QFETCH(bool, writtenInChinese);
        QTranslator chinese;
        QVERIFY(chinese.load(KLM704_CATALOGUE));
        const auto inChinese = [&chinese](bool on) {
            on ? QCoreApplication::installTranslator(&chinese)
               : QCoreApplication::removeTranslator(&chinese);
        };
        inChinese(writtenInChinese);
        const QList<ColumnSpec *> columns = createRecordColumns();
        const auto deleteColumns = qScopeGuard([&columns] { qDeleteAll(columns); });
        DataModel written(columns);
        recordsamples::generateRecording(m_setup.defaultTable, 3, kStart,
                                         [&written](DmmData *data) { written.appendRecord(data); });
        const QString name = m_dir->filePath("run.csv");
        QVERIFY(writeCsv(&written, name));
        QCOMPARE(testfiles::readAll(name).startsWith("No.,Date/Time,"), !writtenInChinese);

        inChinese(!writtenInChinese);
        const QString shown = QCoreApplication::translate("Widget", "Value");
        RecordingReader reader({&m_setup.defaultTable},
                               recordHeadersInEveryLanguage({KLM704_CATALOGUE}));
        QCOMPARE(QCoreApplication::translate("Widget", "Value"), shown);
        inChinese(false);
        DataModel table(m_setup.columns);
        ReadingStore chart, second;
        const RecordingReader::Result result = reader.read(name, {&table, &chart, &second});
        QCOMPARE(result.reason, QString());
        QCOMPARE(table.rowCount(), 3);
    }

    // Pruned while a journal started at kStart runs: it stays though the quota has no room.
    void pruneKeepsTheNewest_data()
    {
        QTest::addColumn<QString>("files"); // oldest first, name:size
        QTest::addColumn<int>("quota");
        QTest::addColumn<QString>("left");
        QTest::addColumn<QString>("summary"); // for the status bar
        const QString day = "2024-01-01_00-00-0", running = " 2024-05-01_12-30-05.csv";
        QStringList hundred; // no limit by number: a day of short recordings under the quota
        for (int i = 0; i < 100; ++i)
            hundred << QTime(0, 0).addSecs(60 * i).toString("'2024-01-01_'hh-mm-ss'.csv'");
        QTest::newRow("a hundred files")
            << hundred.join(":10 ") + ":10" << 10000 << hundred.join(' ') + running << "";
        // The counter orders journals of one second: "-10" is newer than "-2", newer than none.
        // The newest that fit stay; the oldest go first, the small oldest one too.
        QTest::newRow("by size, oldest first")
            << "2023-12-31_23-59-59.csv:1 " + day + "0-10.csv:100 " + day + "0.csv:100 " + day +
                   "0-2.csv:100 " + day + "1.csv:100"
            << 250 << day + "0-10.csv " + day + "1.csv" + running
            << "Removed 3 old journals, 201 bytes, to keep the journals within 250 bytes.";
        // The clock was put back: the running journal is the oldest, and the only one to stay.
        QTest::newRow("running one kept, though oldest and over the quota")
            << "2024-06-01_00-00-00.csv:432013312" << 0 << running.mid(1)
            << "Removed 1 old journal, 412 MB, to keep the journals within 0 bytes.";
    }

    void pruneKeepsTheNewest()
    {
        QFETCH(QString, files);
        QFETCH(int, quota);
        QFETCH(QString, left);
        for (const QString &file : files.split(' ')) { // sparse: large ones take no room
            QFile written(m_dir->filePath(file.section(':', 0, 0)));
            QVERIFY(written.open(QIODevice::WriteOnly) &&
                    written.resize(file.section(':', 1).toLongLong()));
        }
        Journal journal(m_dir->path());
        QVERIFY(journal.start({"A"}, kStart));
        const QStringList removed = journal.prune(quota);
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files, QDir::Name), left.split(' '));
        QCOMPARE(removed.size(), files.count(' ') + 1 - left.count(' ')); // those not left
        QTEST(journal.pruneSummary(), "summary");
        QVERIFY(journal.append({"still here"}));
    }
};

QTEST_GUILESS_MAIN(TestCsvWriter)
#include "tst_csvwriter.moc"
