#include "meter/functionentry.h"
#include "record/csvwriter.h"
#include "record/datamodel.h"
#include "recordsamples.h"
#include "testfiles.h"

#include <QBuffer>
#include <QStringListModel>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

#include <memory>

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

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
private slots:
    void init() { m_model.reset(new DataModel(m_setup.columns)); }

    void rowsAreWrittenAsTheTableShowsThem();
    void fieldIsQuotedOnlyWhenNeeded_data();
    void fieldIsQuotedOnlyWhenNeeded();
    void textIsWrittenInLocalEncoding();
    void failedWriteIsReportedAndKeepsTheOldFile_data();
    void failedWriteIsReportedAndKeepsTheOldFile();

private:
    void fillRecordTable(int count)
    {
        recordsamples::generateRecording(m_setup.defaultTable, count,
                                         QDateTime(QDate(2024, 5, 1), QTime(12, 0)),
                                         [this](DmmData *data) { m_model->appendRecord(data); });
    }

    recordsamples::RecordSetup m_setup;
    std::unique_ptr<DataModel> m_model;
};

void TestCsvWriter::rowsAreWrittenAsTheTableShowsThem()
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

void TestCsvWriter::fieldIsQuotedOnlyWhenNeeded_data()
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

void TestCsvWriter::fieldIsQuotedOnlyWhenNeeded()
{
    QFETCH(QString, field);
    QFETCH(QString, written);
    QCOMPARE(QString::fromUtf8(csvOf(QStringListModel({field}))),
             QStringLiteral("1\n%1\n").arg(written));
}

void TestCsvWriter::textIsWrittenInLocalEncoding()
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

void TestCsvWriter::failedWriteIsReportedAndKeepsTheOldFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("shortBy"); // what the disk lacks for the export; 0 for enough room
    // A plain file where a folder is expected stops every user, the super-user too.
    QTest::newRow("in a plain file") << "old.csv/out.csv" << 0;
    QTest::newRow("disk full in the middle") << "old.csv" << 100 * 1024;
    QTest::newRow("disk full at the last byte") << "old.csv" << 1;
    QTest::newRow("a full device") << "full" << 0;
}

void TestCsvWriter::failedWriteIsReportedAndKeepsTheOldFile()
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

QTEST_GUILESS_MAIN(TestCsvWriter)
#include "tst_csvwriter.moc"
