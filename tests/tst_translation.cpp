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
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTranslator>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

// One message of a translation source file.
struct Entry
{
    QString context, source, comment, translation;
    QString type; // empty when finished

    QString key() const { return context + '|' + source + '|' + comment; }
};

// The text of the element just started, with the control characters written as
// <byte value="xd"/> put back.
QString elementText(QXmlStreamReader &xml)
{
    QString text;
    for (int depth = 1; depth > 0 && !xml.atEnd();) {
        xml.readNext();
        if (xml.isCharacters())
            text += xml.text();
        else if (xml.isEndElement())
            --depth;
        else if (xml.isStartElement())
            ++depth;
        if (xml.isStartElement() && xml.name() == QLatin1String("byte"))
            text += QChar(xml.attributes().value("value").mid(1).toUInt(nullptr, 16));
    }
    return text;
}

QVector<Entry> readCatalogue(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QVector<Entry> entries;
    QString context;
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("name"))
            context = xml.readElementText();
        else if (xml.name() == QLatin1String("message"))
            entries.append({context, {}, {}, {}, {}});
        else if (xml.name() == QLatin1String("source"))
            entries.last().source = elementText(xml);
        else if (xml.name() == QLatin1String("comment"))
            entries.last().comment = xml.readElementText();
        else if (xml.name() == QLatin1String("translation")) {
            entries.last().type = xml.attributes().value("type").toString();
            entries.last().translation = elementText(xml);
        }
    }
    return xml.hasError() ? QVector<Entry>() : entries;
}

QStringList placeholders(const QString &text)
{
    QStringList found;
    for (auto matches = QRegularExpression("%\\d").globalMatch(text); matches.hasNext();)
        found << matches.next().captured();
    found.sort();
    return found;
}

} // namespace

// The Chinese catalogue: complete, compiled, and found in the working directory at start-up.
class TestTranslation : public QObject
{
    Q_OBJECT
    QHash<QString, Entry> m_finished;

    QString translated(const char *context, const char *source, const char *comment = "") const
    {
        return m_finished.value(QString(context) + '|' + source + '|' + comment).translation;
    }

private slots:
    void initTestCase()
    {
        registerResources();
        // Every entry of the two contexts must be finished: lrelease leaves unfinished ones out.
        QSet<QString> contexts;
        for (const Entry &entry : readCatalogue(QStringLiteral(KLM704_TS_FILE))) {
            const QByteArray where = (entry.context + ": " + entry.source).toUtf8();
            // Entries whose text has left the code may stay behind; lrelease leaves them out.
            if (entry.type == QLatin1String("vanished") || entry.type == QLatin1String("obsolete"))
                continue;
            QVERIFY2(entry.type.isEmpty() && !entry.translation.trimmed().isEmpty(), where);
            QCOMPARE(placeholders(entry.translation), placeholders(entry.source));
            // Line breaks shape the toolbar buttons and the boxes; the translation keeps them.
            QCOMPARE(entry.translation.endsWith('\n'), entry.source.endsWith('\n'));
            QCOMPARE(entry.translation.count('\r'), entry.source.count('\r'));
            m_finished.insert(entry.key(), entry);
            contexts.insert(entry.context);
        }
        QVERIFY(contexts.contains("Widget") && contexts.contains("OptionDialog"));
    }

    void catalogueCoversEverySourceText()
    {
        const QString lupdate = QStringLiteral(KLM704_LUPDATE);
        if (!QFile::exists(lupdate))
            QSKIP("lupdate is not installed");
        QTemporaryDir scratch;
        const QString fresh = scratch.filePath(QStringLiteral("fresh.ts"));
        QProcess process;
        process.setWorkingDirectory(QStringLiteral(KLM704_SOURCE_DIR));
        process.start(lupdate,
                      {"-I", ".", "-locations", "none", "app", "display", "record", "-ts", fresh});
        QVERIFY(process.waitForFinished(120000));
        QVERIFY2(process.exitCode() == 0, process.readAllStandardError().constData());
        const QVector<Entry> found = readCatalogue(fresh);
        QVERIFY(found.size() > 40); // lupdate did read the window, its form and the dialog
        for (const Entry &entry : found)
            QVERIFY2(m_finished.contains(entry.key()),
                     qPrintable(QStringLiteral("no translation for %1: \"%2\"")
                                    .arg(entry.context, entry.source)));
    }

    void compiledCatalogueHoldsEveryEntry()
    {
        QTranslator translator;
        QVERIFY(translator.load(QStringLiteral(KLM704_CATALOGUE)));
        for (const Entry &entry : qAsConst(m_finished)) {
            const QByteArray comment = entry.comment.toUtf8();
            QCOMPARE(translator.translate(entry.context.toUtf8(), entry.source.toUtf8(),
                                          comment.isEmpty() ? nullptr : comment.data()),
                     entry.translation);
        }
    }

    void onlyOtherWithCatalogueInWorkingDirectoryShowsChinese_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<bool>("catalogueHere");
        QTest::newRow("Chinese") << "OTHER" << true;
        QTest::newRow("lower case") << "other" << true;
        QTest::newRow("catalogue elsewhere") << "OTHER" << false;
    }

    void onlyOtherWithCatalogueInWorkingDirectoryShowsChinese()
    {
        QFETCH(QString, language);
        QFETCH(bool, catalogueHere);
        ScratchSettings scratch;
        QVERIFY(scratch.write("<options><Language>" + language.toUtf8() + "</Language></options>"));
        QTemporaryDir elsewhere;
        QVERIFY(QFile::copy(KLM704_CATALOGUE, scratch.filePath("OTHER.qm")));
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(catalogueHere ? scratch.folder() : elsewhere.path()));
        QTranslator translator;
        const bool installed = installStartupTranslator(translator, readStartupLanguage());
        QDir::setCurrent(before);
        const bool chinese = language == "OTHER" && catalogueHere;
        QCOMPARE(installed, chinese);
        // English texts are the keys: a missing translation gives the text itself.
        const auto expected = [&](const char *context, const char *text, const char *comment = "") {
            return chinese ? translated(context, text, comment) : QString(text);
        };
        Widget window;
        const auto text = [&window](const char *action) {
            return window.findChild<QAction *>(QLatin1String(action))->text();
        };
        QCOMPARE(text("actionConnect") != "Connect", chinese);
        QCOMPARE(text("actionConnect"), expected("Widget", "Connect"));
        // The two "Manual" texts are told apart by their comments.
        QCOMPARE(text("actionManual"), expected("Widget", "Manual"));
        QCOMPARE(text("actionRangeManual"), expected("Widget", "Manual", "meter range key"));
        QCOMPARE(window.findChild<QDockWidget *>("dwLCD")->windowTitle(),
                 expected("Widget", "LCD"));
        // Texts of the code, not only of the form.
        window.deviceLink()->setLinkFactory(
            [](const QString &, const LinkSettings &, QString *) { return nullptr; });
        SeenBox seen;
        const auto dismisser = dismissMessageBoxes(&seen);
        window.findChild<QAction *>("actionConnect")->trigger();
        QCOMPARE(seen.text, expected("Widget", "Failed to open device."));
        QCOMPARE(OptionDialog(false).chkInfinite->text(), expected("OptionDialog", "Infinite"));
        QCoreApplication::removeTranslator(&translator);
    }
};

QTEST_MAIN(TestTranslation)
#include "tst_translation.moc"
