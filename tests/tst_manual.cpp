#include <QFile>
#include <QRegularExpression>
#include <QtTest>

// The build turns docs/manual.md into the PDF that the Manual button opens.
class TestManual : public QObject
{
    Q_OBJECT
private slots:
    void manualPdfHasPagesWithTheSectionsOfTheSource();
};

void TestManual::manualPdfHasPagesWithTheSectionsOfTheSource()
{
    QFile pdf(QStringLiteral(KLM704_MANUAL_PDF));
    QVERIFY2(pdf.open(QIODevice::ReadOnly), qPrintable(pdf.fileName()));
    const QByteArray bytes = pdf.readAll();
    QVERIFY(bytes.startsWith("%PDF-"));
    const int pages = QString::fromLatin1(bytes.constData(), bytes.size())
                          .count(QRegularExpression(QStringLiteral("/Type\\s*/Page(?!s)")));
    QVERIFY2(pages >= 3, qPrintable(QStringLiteral("%1 pages").arg(pages)));

    // The source's level-2 headings must all have made it into a document of that many pages:
    // a truncated or empty conversion would have far fewer pages than sections.
    QFile source(QStringLiteral(KLM704_MANUAL_SOURCE));
    QVERIFY(source.open(QIODevice::ReadOnly | QIODevice::Text));
    const int sections =
        QString::fromUtf8(source.readAll())
            .count(QRegularExpression(QStringLiteral("^## "), QRegularExpression::MultilineOption));
    QVERIFY(sections >= 6);
    QVERIFY(pages * 3 >= sections);
}

QTEST_APPLESS_MAIN(TestManual)
#include "tst_manual.moc"
