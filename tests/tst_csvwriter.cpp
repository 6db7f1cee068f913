#include "meter/functionentry.h"
#include "record/columnspec.h"
#include "record/csvformat.h"
#include "record/csvwriter.h"
#include "record/datamodel.h"
#include "recordsamples.h"
#include "testfiles.h"

#include <QBuffer>
#include <QIdentityProxyModel>
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

// A one-column table with the field as its title and its one cell.
class OneField : public QStringListModel
{
public:
    explicit OneField(const QString &field)
        : QStringListModel({field})
    {
    }
    QVariant headerData(int, Qt::Orientation, int role) const override
    {
        return role == Qt::DisplayRole ? stringList().at(0) : QVariant();
    }
};

} // namespace

class TestCsvWriter : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void rowsAreWrittenAsTheTableShowsThem();
    void fieldIsQuotedOnlyWhenNeeded_data();
    void fieldIsQuotedOnlyWhenNeeded();
    void textIsWrittenInLocalEncoding_data();
    void textIsWrittenInLocalEncoding();

    void unwritableNameFailsAndWritesNothing_data();
    void unwritableNameFailsAndWritesNothing();
    void fullDiskFailsAndKeepsOldFile_data();
    void fullDiskFailsAndKeepsOldFile();
    void fullDeviceFails();

private:
    void fillRecordTable(int count);

    recordsamples::RecordSetup m_setup;
    std::unique_ptr<DataModel> m_model;
    std::unique_ptr<QTemporaryDir> m_dir;
    const QDateTime m_start{QDate(2024, 5, 1), QTime(12, 0)};
};

void TestCsvWriter::init()
{
    m_model.reset(new DataModel(m_setup.columns));
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
}

void TestCsvWriter::cleanup()
{
    QTextCodec::setCodecForLocale(nullptr);
    m_dir.reset();
    m_model.reset();
}

void TestCsvWriter::fillRecordTable(int count)
{
    recordsamples::generateRecording(m_setup.defaultTable, count, m_start,
                                     [this](DmmData *data) { m_model->appendRecord(data); });
}

void TestCsvWriter::rowsAreWrittenAsTheTableShowsThem()
{
    const QByteArray header = "No.,Date/Time,Function,Range,Value,Unit\n";
    const QString name = m_dir->filePath("rows.csv");
    QVERIFY(writeCsv(m_model.get(), name));
    QCOMPARE(testfiles::readAll(name), header);
    // A longer file of the same name is replaced.
    QVERIFY(testfiles::writeAll(name, QByteArray(5000, 'x')));
    fillRecordTable(3);
    QVERIFY(writeCsv(m_model.get(), name));
    QCOMPARE(testfiles::readAll(name), header + "1,2024-05-01 12:00:00,DCV,60, 1.234 ,V\n"
                                                "2,2024-05-01 12:00:01,DCV,60,-0.0123,V\n"
                                                "3,2024-05-01 12:00:02,DCV,60,  O.L  ,V\n");

    // Every function: the record table hands its texts over directly, a proxy the general way.
    m_model->clearRecords();
    for (DmmData *data :
         recordsamples::everyRowReadings(m_setup.defaultTable, m_setup.eTable, m_start))
        m_model->appendRecord(data);
    QIdentityProxyModel proxy;
    proxy.setSourceModel(m_model.get());
    const QByteArray direct = csvOf(*m_model);
    QCOMPARE(direct.count('\n'), m_model->rowCount() + 1);
    QCOMPARE(direct, csvOf(proxy));
}

void TestCsvWriter::fieldIsQuotedOnlyWhenNeeded_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("written");
    QTest::newRow("spaces") << "  O.L  "
                            << "  O.L  ";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("semicolon and tab") << "a;b\tc"
                                       << "a;b\tc";
    QTest::newRow("comma") << "RES, 4-wire"
                           << "\"RES, 4-wire\"";
    QTest::newRow("quotes") << "say \"hi\""
                            << "\"say \"\"hi\"\"\"";
    QTest::newRow("lone quote") << "\""
                                << "\"\"\"\"";
    QTest::newRow("line feed") << "two\nlines"
                               << "\"two\nlines\"";
    QTest::newRow("carriage return") << "cr\rhere"
                                     << "\"cr\rhere\"";
}

void TestCsvWriter::fieldIsQuotedOnlyWhenNeeded()
{
    QFETCH(QString, field);
    QFETCH(QString, written);
    QCOMPARE(QString::fromUtf8(csvOf(OneField(field))), QStringLiteral("%1\n%1\n").arg(written));
}

void TestCsvWriter::textIsWrittenInLocalEncoding_data()
{
    QTest::addColumn<QByteArray>("codec");
    QTest::addColumn<QByteArray>("written");
    // Ohm has no Latin-1 code and becomes the substitute; micro is the single byte 0xB5.
    QTest::newRow("Latin-1") << QByteArray("ISO-8859-1") << QByteArray("K?\xB5\nK?\xB5\n");
    // No byte order mark before the UTF-8 text.
    QTest::newRow("UTF-8") << QByteArray("UTF-8")
                           << QByteArray("K\xCE\xA9\xC2\xB5\nK\xCE\xA9\xC2\xB5\n");
}

void TestCsvWriter::textIsWrittenInLocalEncoding()
{
    QFETCH(QByteArray, codec);
    QTextCodec::setCodecForLocale(QTextCodec::codecForName(codec));
    const QString name = m_dir->filePath("local.csv");
    OneField table(QString::fromUtf8("K\xCE\xA9\xC2\xB5"));
    QVERIFY(writeCsv(&table, name));
    QTEST(testfiles::readAll(name), "written");
}

void TestCsvWriter::unwritableNameFailsAndWritesNothing_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("a folder") << "";
    QTest::newRow("in a missing folder") << "missing/out.csv";
    // A plain file where a folder is expected stops every user, the super-user too.
    QTest::newRow("in a plain file") << "blocker/out.csv";
}

void TestCsvWriter::unwritableNameFailsAndWritesNothing()
{
    QFETCH(QString, name);
    QVERIFY(testfiles::writeAll(m_dir->filePath("blocker"), "old\n"));
    fillRecordTable(2);
    QVERIFY(!writeCsv(m_model.get(), m_dir->filePath(name)));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{"blocker"});
    QCOMPARE(testfiles::readAll(m_dir->filePath("blocker")), QByteArray("old\n"));
}

void TestCsvWriter::fullDiskFailsAndKeepsOldFile_data()
{
    // Where the disk runs full, counted back from the end of the export.
    QTest::addColumn<int>("shortBy");
    QTest::newRow("in the middle") << 100 * 1024;
    QTest::newRow("at the last byte") << 1;
}

void TestCsvWriter::fullDiskFailsAndKeepsOldFile()
{
    QFETCH(int, shortBy);
    const QString name = m_dir->filePath("export.csv");
    QVERIFY(testfiles::writeAll(name, "old\n"));
    fillRecordTable(5000);
    {
        testfiles::FileSizeLimit limit(rlim_t(csvOf(*m_model).size() - shortBy));
        QVERIFY(limit.isActive());
        QVERIFY(!writeCsv(m_model.get(), name));
    }
    QCOMPARE(testfiles::readAll(name), QByteArray("old\n"));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{"export.csv"});
    // With room again the same export succeeds.
    QVERIFY(writeCsv(m_model.get(), name));
    QCOMPARE(testfiles::readAll(name).count('\n'), 5001);
}

void TestCsvWriter::fullDeviceFails()
{
    // A device that reports a full disk on every write, made here when this user may create
    // devices, else a link to the system's.
    const QString device = m_dir->filePath("full");
    if (::mknod(QFile::encodeName(device).constData(), S_IFCHR | 0666, makedev(1, 7)) != 0)
        QVERIFY(QFile::link("/dev/full", device));
    fillRecordTable(10);
    QVERIFY(!writeCsv(m_model.get(), device));
    // The device is written in place, never replaced by a file.
    QVERIFY(!QFileInfo(device).isFile());
    QVERIFY(QFileInfo::exists(device));
}

QTEST_GUILESS_MAIN(TestCsvWriter)
#include "tst_csvwriter.moc"
