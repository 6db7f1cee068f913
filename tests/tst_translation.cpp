#include "app/optiondialog.h"
#include "app/resourcebundle.h"
#include "app/startuplanguage.h"
#include "app/widget.h"
#include "meter/deviceselector.h"
#include "tests/modalboxes.h"
#include "tests/scratchsettings.h"

#include <QtTest>
#include <QtWidgets>

namespace {

// One message of a translation source file.
struct Entry
{
    QString context, source, translation;
    QString type; // empty when finished
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
            entries.append({context, {}, {}, {}});
        else if (xml.name() == QLatin1String("source"))
            entries.last().source = elementText(xml);
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
private slots:
    void initTestCase() { registerResources(); }

    void everyTextHasAFinishedTranslation()
    {
        // lupdate merges the sources' texts into a copy of the catalogue, where a text without
        // translation shows up unfinished; lrelease leaves unfinished entries out.
        QTemporaryDir scratch;
        const QString merged = scratch.filePath(QStringLiteral("merged.ts"));
        QVERIFY(QFile::copy(KLM704_TS_FILE, merged));
        if (QFile::exists(KLM704_LUPDATE)) {
            QProcess lupdate;
            lupdate.setWorkingDirectory(KLM704_SOURCE_DIR);
            lupdate.start(KLM704_LUPDATE, {"-I", ".", "-locations", "none", "app", "display",
                                           "record", "-ts", merged});
            QVERIFY(lupdate.waitForFinished(120000) && lupdate.exitCode() == 0);
        }
        QSet<QString> contexts;
        for (const Entry &entry : readCatalogue(merged)) {
            // Entries whose text has left the code may stay behind.
            if (entry.type == QLatin1String("vanished") || entry.type == QLatin1String("obsolete"))
                continue;
            const QByteArray where = (entry.context + ": " + entry.source).toUtf8();
            QVERIFY2(entry.type.isEmpty() && !entry.translation.trimmed().isEmpty(), where);
            QCOMPARE(placeholders(entry.translation), placeholders(entry.source));
            // Line breaks shape the toolbar buttons and the boxes; the translation keeps them.
            QCOMPARE(entry.translation.endsWith('\n'), entry.source.endsWith('\n'));
            QCOMPARE(entry.translation.count('\r'), entry.source.count('\r'));
            contexts.insert(entry.context);
        }
        QVERIFY(contexts.contains("Widget") && contexts.contains("OptionDialog"));
    }

    void onlyOtherWithCatalogueInWorkingDirectoryShowsChinese_data()
    {
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<bool>("catalogueHere");
        QTest::addColumn<bool>("chinese");
        // The later of two elements counts unless blank, also in a foreign or broken file.
        QTest::newRow("Chinese") << QByteArray(
                                        "<s><Language>EN</Language><Language>OTHER</Language>"
                                        "<Language> </Language><A>EN</A><B a=>")
                                 << true << true;
        QTest::newRow("lower case")
            << QByteArray("<options><Language>other</Language></options>") << true << false;
        QTest::newRow("catalogue elsewhere")
            << QByteArray("<options><Language>OTHER</Language></options>") << false << false;
    }

    void onlyOtherWithCatalogueInWorkingDirectoryShowsChinese()
    {
        QFETCH(QByteArray, settings);
        QFETCH(bool, catalogueHere);
        QFETCH(bool, chinese);
        ScratchSettings scratch;
        QCOMPARE(readStartupLanguage(), QString()); // no file yet
        QVERIFY(scratch.write(settings));
        QVERIFY(QFile::copy(KLM704_CATALOGUE, scratch.filePath("OTHER.qm")));
        QTemporaryDir elsewhere;
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(catalogueHere ? scratch.folder() : elsewhere.path()));
        QTranslator translator;
        const bool installed = installStartupTranslator(translator, readStartupLanguage());
        QDir::setCurrent(before);
        QCOMPARE(installed, chinese);
        const auto expected = [](const char *context, const char *text,
                                 const char *comment = nullptr) {
            return QCoreApplication::translate(context, text, comment);
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
        QCOMPARE(text("actionRangeManual") != text("actionManual"), chinese);
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
