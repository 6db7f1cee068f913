#include <QFile>
#include <QRegularExpression>
#include <QtTest>

// The build turns docs/manual.md into the PDF that the Manual button opens.
class TestManual : public QObject
{
    Q_OBJECT
private slots:
    void manualPdfHasAPageForEveryFewSections()
    {
        QFile pdf(QStringLiteral(KLM704_MANUAL_PDF));
        QVERIFY2(pdf.open(QIODevice::ReadOnly), qPrintable(pdf.fileName()));
        const QByteArray bytes = pdf.readAll();
        QVERIFY(bytes.startsWith("%PDF-"));
        const int pages = QString::fromLatin1(bytes.constData(), bytes.size())
                              .count(QRegularExpression("/Type\\s*/Page(?!s)"));
        QFile source(QStringLiteral(KLM704_MANUAL_SOURCE));
        QVERIFY(source.open(QIODevice::ReadOnly | QIODevice::Text));
        const int sections =
            QString::fromUtf8(source.readAll())
                .count(QRegularExpression("^## ", QRegularExpression::MultilineOption));
        // A cut-off or empty conversion has far fewer pages than the source has sections.
        QVERIFY(sections >= 6);
        QVERIFY2(pages >= 3 && pages * 3 >= sections, qPrintable(QString::number(pages)));
    }
};

QTEST_APPLESS_MAIN(TestManual)
#include "tst_manual.moc"
