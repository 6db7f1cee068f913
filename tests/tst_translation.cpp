#include "app/optiondialog.h"
#include "app/resourcebundle.h"
#include "app/startuplanguage.h"
#include "app/widget.h"
#include "meter/deviceselector.h"
#include "tests/modalboxes.h"
#include "tests/scratchsettings.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QToolBar>
#include <QTranslator>
#include <QXmlStreamReader>
#include <QtTest>
#include <memory>

namespace {

const QString kCatalogueSource = QStringLiteral(KLM704_TS_FILE);
const QString kCompiledCatalogue = QStringLiteral(KLM704_CATALOGUE);

// One message of a translation source file.
struct Entry
{
    QString context;
    QString source;
    QString comment;
    QString translation;
    QString type; // empty when finished

    QString key() const { return context + QLatin1Char('|') + source + QLatin1Char('|') + comment; }
    bool isFinished() const { return type.isEmpty(); }
};

// The text of the element just started, with the control characters the file writes as
// <byte value="xd"/> put back.
QString elementText(QXmlStreamReader &xml)
{
    QString text;
    int depth = 1;
    while (depth > 0 && !xml.atEnd()) {
        xml.readNext();
        if (xml.isCharacters()) {
            text += xml.text();
        } else if (xml.isStartElement()) {
            ++depth;
            if (xml.name() == QLatin1String("byte"))
                text += QChar(
                    xml.attributes().value(QLatin1String("value")).mid(1).toUInt(nullptr, 16));
        } else if (xml.isEndElement()) {
            --depth;
        }
    }
    return text;
}

QVector<Entry> readCatalogue(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return {};
    }
    QVector<Entry> entries;
    QString context;
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const auto name = xml.name();
        if (name == QLatin1String("name")) {
            context = xml.readElementText();
        } else if (name == QLatin1String("message")) {
            entries.append({context, {}, {}, {}, {}});
        } else if (name == QLatin1String("source")) {
            entries.last().source = elementText(xml);
        } else if (name == QLatin1String("comment")) {
            entries.last().comment = xml.readElementText();
        } else if (name == QLatin1String("translation")) {
            entries.last().type = xml.attributes().value(QLatin1String("type")).toString();
            entries.last().translation = elementText(xml);
        }
    }
    if (xml.hasError())
        *error = xml.errorString();
    return entries;
}

QStringList placeholders(const QString &text)
{
    QStringList found;
    auto matches = QRegularExpression(QStringLiteral("%\\d")).globalMatch(text);
    while (matches.hasNext())
        found << matches.next().captured();
    found.sort();
    return found;
}

bool hasChinese(const QString &text)
{
    return std::any_of(text.begin(), text.end(),
                       [](QChar c) { return c.unicode() >= 0x4E00 && c.unicode() <= 0x9FFF; });
}

} // namespace

class TestTranslation : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void everyEntryIsFinished();
    void catalogueCoversEverySourceText();
    void messageBoxAndColumnTextsAreTranslated();
    void compiledCatalogueHoldsEveryEntry();

    void chineseWindowWithCatalogueInWorkingDirectory();
    void catalogueElsewhereLeavesWindowEnglish();

private:
    QString translated(const char *context, const char *source, const char *comment = "") const;
    // Puts a settings file choosing Chinese, and the catalogue, into the scratch folder.
    void prepareChineseStart();

    QVector<Entry> m_entries;
    QHash<QString, Entry> m_finished;
    std::unique_ptr<ScratchSettings> m_settings;
    QString m_oldCurrent;
    std::unique_ptr<QTranslator> m_translator;
};

void TestTranslation::initTestCase()
{
    registerResources();
    QString error;
    m_entries = readCatalogue(kCatalogueSource, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVERIFY(m_entries.size() > 40);
    for (const Entry &entry : qAsConst(m_entries)) {
        if (entry.isFinished())
            m_finished.insert(entry.key(), entry);
    }
}

void TestTranslation::init()
{
    m_settings = std::make_unique<ScratchSettings>();
    QVERIFY(m_settings->isValid());
    m_oldCurrent = QDir::currentPath();
}

void TestTranslation::cleanup()
{
    if (m_translator)
        QCoreApplication::removeTranslator(m_translator.get());
    m_translator.reset();
    QDir::setCurrent(m_oldCurrent);
}

QString TestTranslation::translated(const char *context, const char *source,
                                    const char *comment) const
{
    return m_finished
        .value(QString::fromUtf8(context) + QLatin1Char('|') + QString::fromUtf8(source) +
               QLatin1Char('|') + QString::fromUtf8(comment))
        .translation;
}

void TestTranslation::everyEntryIsFinished()
{
    QSet<QString> contexts;
    for (const Entry &entry : qAsConst(m_entries)) {
        const QByteArray where = (entry.context + QLatin1String(": ") + entry.source).toUtf8();
        // Entries whose text has left the code may stay behind; lrelease leaves them out.
        if (entry.type == QLatin1String("vanished") || entry.type == QLatin1String("obsolete"))
            continue;
        QVERIFY2(entry.isFinished(), where.constData());
        QVERIFY2(!entry.translation.trimmed().isEmpty(), where.constData());
        QCOMPARE(placeholders(entry.translation), placeholders(entry.source));
        // Line breaks shape the toolbar buttons; the translation keeps them.
        QCOMPARE(entry.translation.endsWith(QLatin1Char('\n')),
                 entry.source.endsWith(QLatin1Char('\n')));
        QCOMPARE(entry.translation.count(QLatin1Char('\r')), entry.source.count(QLatin1Char('\r')));
        contexts.insert(entry.context);
    }
    QVERIFY(contexts.contains(QStringLiteral("Widget")));
    QVERIFY(contexts.contains(QStringLiteral("OptionDialog")));
}

void TestTranslation::catalogueCoversEverySourceText()
{
    const QString lupdate = QStringLiteral(KLM704_LUPDATE);
    if (!QFile::exists(lupdate))
        QSKIP("lupdate is not installed");
    const QString fresh = m_settings->filePath(QStringLiteral("fresh.ts"));
    QProcess process;
    process.setWorkingDirectory(QStringLiteral(KLM704_SOURCE_DIR));
    process.start(lupdate,
                  {"-I", ".", "-locations", "none", "app", "display", "record", "-ts", fresh});
    QVERIFY(process.waitForFinished(120000));
    QVERIFY2(process.exitCode() == 0, process.readAllStandardError().constData());

    QString error;
    const QVector<Entry> found = readCatalogue(fresh, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QSet<QString> foundContexts;
    for (const Entry &entry : found) {
        foundContexts.insert(entry.context);
        QVERIFY2(
            m_finished.contains(entry.key()),
            qPrintable(
                QStringLiteral("no translation for %1: \"%2\"").arg(entry.context, entry.source)));
    }
    // lupdate did read the window, its form and the dialog.
    QVERIFY(foundContexts.contains(QStringLiteral("Widget")));
    QVERIFY(foundContexts.contains(QStringLiteral("OptionDialog")));
    QVERIFY(found.size() > 40);
}

void TestTranslation::messageBoxAndColumnTextsAreTranslated()
{
    for (const char *text :
         {"Failed to open device.", "Can not open file.",
          "Are you sure you want to delete this data?", "Export the data to a CSV file.",
          "The datas is exported successfully.\r\nDo you want to open this file?",
          "The datas is exported failed.", "Export the chart to a JPEG file.", "No.", "Date/Time",
          "Function", "Range", "Value", "Unit"})
        QVERIFY2(hasChinese(translated("Widget", text)), text);
}

void TestTranslation::compiledCatalogueHoldsEveryEntry()
{
    QTranslator translator;
    QVERIFY2(translator.load(kCompiledCatalogue), qPrintable(kCompiledCatalogue));
    for (const Entry &entry : qAsConst(m_finished)) {
        const QByteArray context = entry.context.toUtf8();
        const QByteArray source = entry.source.toUtf8();
        const QByteArray comment = entry.comment.toUtf8();
        QCOMPARE(
            translator.translate(context, source, comment.isEmpty() ? nullptr : comment.data()),
            entry.translation);
    }
}

void TestTranslation::prepareChineseStart()
{
    QVERIFY(m_settings->write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                              "<options>\n    <Language>OTHER</Language>\n</options>\n"));
    QVERIFY(QFile::copy(kCompiledCatalogue, m_settings->filePath(QStringLiteral("OTHER.qm"))));
    m_translator = std::make_unique<QTranslator>();
}

void TestTranslation::chineseWindowWithCatalogueInWorkingDirectory()
{
    prepareChineseStart();
    QVERIFY(QDir::setCurrent(m_settings->folder()));
    QVERIFY(installStartupTranslator(*m_translator, readStartupLanguage()));

    Widget window;
    const auto text = [&window](const char *action) {
        return window.findChild<QAction *>(QLatin1String(action))->text();
    };
    QVERIFY(hasChinese(text("actionConnect")));
    QCOMPARE(text("actionConnect"), translated("Widget", "Connect"));
    // The two "Manual" texts are told apart by their comments.
    QCOMPARE(text("actionManual"), translated("Widget", "Manual"));
    QCOMPARE(text("actionRangeManual"), translated("Widget", "Manual", "meter range key"));
    QVERIFY(text("actionManual") != text("actionRangeManual"));
    QCOMPARE(window.findChild<QAction *>("actionOption")->toolTip(),
             translated("Widget", "Options"));
    QCOMPARE(window.findChild<QDockWidget *>("dwLCD")->windowTitle(), translated("Widget", "LCD"));
    // Texts of the code, not only of the form.
    window.deviceLink()->setLinkFactory([](const QString &, const LinkSettings &, QString *error) {
        *error = QStringLiteral("no bridge");
        return nullptr;
    });
    SeenBox seen;
    const auto dismisser = dismissMessageBoxes(&seen);
    window.findChild<QAction *>("actionConnect")->trigger();
    QCOMPARE(seen.text, translated("Widget", "Failed to open device."));

    OptionDialog dialog(false);
    QCOMPARE(dialog.windowTitle(), translated("OptionDialog", "Options"));
    QCOMPARE(dialog.chkInfinite->text(), translated("OptionDialog", "Infinite"));
}

void TestTranslation::catalogueElsewhereLeavesWindowEnglish()
{
    prepareChineseStart();
    // Started from another folder: the catalogue beside the settings is not found.
    QTemporaryDir elsewhere;
    QVERIFY(QDir::setCurrent(elsewhere.path()));
    QCOMPARE(readStartupLanguage(), QStringLiteral("OTHER"));
    QVERIFY(!installStartupTranslator(*m_translator, readStartupLanguage()));

    Widget window;
    QCOMPARE(window.findChild<QAction *>("actionConnect")->text(), QStringLiteral("Connect"));
    OptionDialog dialog(false);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Options"));
}

QTEST_MAIN(TestTranslation)
#include "tst_translation.moc"
