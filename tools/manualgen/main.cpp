// Turns the user manual's Markdown source into the PDF that the Manual button opens.
#include <QFile>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPdfWriter>
#include <QTextDocument>
#include <QTextStream>

namespace {

int fail(const QString &message)
{
    QTextStream(stderr) << "klm704-manualgen: " << message << '\n';
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    // Rendering text needs a platform plugin; the build machine may have no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3)
        return fail(QStringLiteral("usage: klm704-manualgen SOURCE.md OUTPUT.pdf"));

    QFile source(args.at(1));
    if (!source.open(QIODevice::ReadOnly | QIODevice::Text))
        return fail(
            QStringLiteral("cannot read %1: %2").arg(source.fileName(), source.errorString()));

    QPdfWriter pdf(args.at(2));
    pdf.setTitle(QStringLiteral("KLM-704 Software User Manual"));
    pdf.setCreator(QStringLiteral("KLM-704"));
    pdf.setResolution(300);
    pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                  QMarginsF(20, 20, 20, 20), QPageLayout::Millimeter));

    QTextDocument document;
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(10.5);
    document.setDefaultFont(font);
    document.setMarkdown(QString::fromUtf8(source.readAll()));
    document.print(&pdf);
    if (!QFile::exists(args.at(2)))
        return fail(QStringLiteral("cannot write %1").arg(args.at(2)));
    return 0;
}
