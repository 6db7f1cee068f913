#include "meter/functionentry.h"
#include "record/columnspec.h"
#include "record/csvformat.h"
#include "record/csvwriter.h"
#include "record/datamodel.h"
#include "recordsamples.h"
#include "strictcsv.h"
#include "testfiles.h"

#include <QBuffer>
#include <QIdentityProxyModel>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

#include <memory>

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

const QByteArray kHeader = "No.,Date/Time,Function,Range,Value,Unit\n";

// A table of fixed texts.
class TextTable : public QAbstractTableModel
{
public:
    TextTable(const QStringList &header, const QList<QStringList> &rows)
        : m_header(header)
        , m_rows(rows)
    {
    }
    int rowCount(const QModelIndex & = QModelIndex()) const override { return m_rows.size(); }
    int columnCount(const QModelIndex & = QModelIndex()) const override { return m_header.size(); }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role != Qt::DisplayRole)
            return QVariant();
        return m_rows.at(index.row()).at(index.column());
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return QVariant();
        return m_header.at(section);
    }

private:
    QStringList m_header;
    QList<QStringList> m_rows;
};

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
    void init();
    void cleanup();

    void rowsAreWrittenAsTheTableShowsThem();
    void recordTableMatchesGenericModel();
    void fieldIsQuotedOnlyWhenNeeded_data();
    void fieldIsQuotedOnlyWhenNeeded();
    void everyFieldReadsBack();
    void textIsWrittenInLocalEncoding_data();
    void textIsWrittenInLocalEncoding();

    void unwritableNameFailsAndWritesNothing_data();
    void unwritableNameFailsAndWritesNothing();
    void readOnlyFolderFailsAndKeepsOldFile();
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
    const QString name = m_dir->filePath("rows.csv");
    QVERIFY(writeCsv(m_model.get(), name));
    QCOMPARE(testfiles::readAll(name), kHeader);
    // A longer file of the same name is replaced.
    QVERIFY(testfiles::writeAll(name, QByteArray(5000, 'x')));
    fillRecordTable(3);
    QVERIFY(writeCsv(m_model.get(), name));
    QCOMPARE(testfiles::readAll(name), kHeader + "1,2024-05-01 12:00:00,DCV,60, 1.234 ,V\n"
                                                 "2,2024-05-01 12:00:01,DCV,60,-0.0123,V\n"
                                                 "3,2024-05-01 12:00:02,DCV,60,  O.L  ,V\n");
}

void TestCsvWriter::recordTableMatchesGenericModel()
{
    // The record table hands its texts to the writer directly; a proxy goes the general way.
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
    const auto row = [](const char *name, const char *field, const char *written) {
        QTest::newRow(name) << QString(field) << QString(written);
    };
    row("plain", "DCV", "DCV");
    row("negative number", "-0.0123", "-0.0123");
    row("spaces", "  O.L  ", "  O.L  ");
    row("empty", "", "");
    row("semicolon and tab", "a;b\tc", "a;b\tc");
    row("comma", "RES, 4-wire", "\"RES, 4-wire\"");
    row("quote", "say \"hi\"", "\"say \"\"hi\"\"\"");
    row("lone quote", "\"", "\"\"\"\"");
    row("line feed", "two\nlines", "\"two\nlines\"");
    row("carriage return", "cr\rhere", "\"cr\rhere\"");
}

void TestCsvWriter::fieldIsQuotedOnlyWhenNeeded()
{
    QFETCH(QString, field);
    QFETCH(QString, written);
    TextTable table({"A", "B"}, {{field, "x"}, {"y", field}});
    QCOMPARE(QString::fromUtf8(csvOf(table)), QStringLiteral("A,B\n%1,x\ny,%1\n").arg(written));
    QCOMPARE(csvLine({field}), written + QLatin1Char('\n'));
}

void TestCsvWriter::everyFieldReadsBack()
{
    const QStringList nasty = {"a,b", "\"", "\"\"", "x\ny", "\r\n", ",", "", " q \"r\" ,s"};
    QList<QStringList> rows;
    for (int i = 0; i < nasty.size(); ++i)
        rows.append({QString::number(i), nasty.at(i), nasty.at(nasty.size() - 1 - i)});
    const QStringList header = {"No.", "Value, as shown", "Unit \"text\""};
    TextTable table(header, rows);
    const QString name = m_dir->filePath("nasty.csv");
    QVERIFY(writeCsv(&table, name));
    QList<QStringList> records;
    QVERIFY(readCsvStrictly(QString::fromUtf8(testfiles::readAll(name)), records));
    QCOMPARE(records, QList<QStringList>{header} + rows);
}

void TestCsvWriter::textIsWrittenInLocalEncoding_data()
{
    QTest::addColumn<QByteArray>("codec");
    QTest::addColumn<QByteArray>("written");
    // Ohm has no Latin-1 code and becomes the substitute; micro is the single byte 0xB5.
    QTest::newRow("Latin-1") << QByteArray("ISO-8859-1") << QByteArray("Unit\nK?\n\xB5\n");
    // No byte order mark before the UTF-8 text.
    QTest::newRow("UTF-8") << QByteArray("UTF-8") << QByteArray("Unit\nK\xCE\xA9\n\xC2\xB5\n");
}

void TestCsvWriter::textIsWrittenInLocalEncoding()
{
    QFETCH(QByteArray, codec);
    QFETCH(QByteArray, written);
    QTextCodec::setCodecForLocale(QTextCodec::codecForName(codec));
    TextTable table({"Unit"}, {{QString::fromUtf8("K\xCE\xA9")}, {QString::fromUtf8("\xC2\xB5")}});
    QCOMPARE(csvOf(table), written);
    const QString name = m_dir->filePath("local.csv");
    QVERIFY(writeCsv(&table, name));
    QCOMPARE(testfiles::readAll(name), written);
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

void TestCsvWriter::readOnlyFolderFailsAndKeepsOldFile()
{
    fillRecordTable(2);
    const QString readOnly = m_dir->filePath("readonly");
    QVERIFY(QDir().mkpath(readOnly));
    const QString name = readOnly + "/out.csv";
    QVERIFY(testfiles::writeAll(name, "old\n"));
    QVERIFY(QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::ExeOwner));
    if (QFileInfo(readOnly).isWritable()) {
        QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QSKIP("this user may write into read-only folders");
    }
    const bool written = writeCsv(m_model.get(), name);
    QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY(!written);
    QCOMPARE(testfiles::readAll(name), QByteArray("old\n"));
}

void TestCsvWriter::fullDiskFailsAndKeepsOldFile_data()
{
    // Where the disk runs full, counted back from the end of the export.
    QTest::addColumn<int>("shortBy");
    QTest::newRow("in the middle") << 100 * 1024;
    QTest::newRow("in the last line") << 10;
    QTest::newRow("at the last byte") << 1;
}

void TestCsvWriter::fullDiskFailsAndKeepsOldFile()
{
    QFETCH(int, shortBy);
    const QString name = m_dir->filePath("export.csv");
    QVERIFY(testfiles::writeAll(name, "old\n"));
    fillRecordTable(5000);
    const int size = csvOf(*m_model).size();
    {
        testfiles::FileSizeLimit limit(rlim_t(size - shortBy));
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
    // A device that reports a full disk on every write, made in the temporary folder when this
    // user may create devices, else a link to the system's.
    const QString device = m_dir->filePath("full");
    if (::mknod(QFile::encodeName(device).constData(), S_IFCHR | 0666, makedev(1, 7)) != 0)
        QVERIFY(QFile::link("/dev/full", device));
    fillRecordTable(10);
    QVERIFY(!writeCsv(m_model.get(), device));
    // The device is written in place, never replaced by a file.
    QVERIFY(!QFileInfo(device).isFile());
    QVERIFY(QFileInfo::exists(device));
    QVERIFY(!QFileInfo("/dev/full").isFile());
}

QTEST_GUILESS_MAIN(TestCsvWriter)
#include "tst_csvwriter.moc"
