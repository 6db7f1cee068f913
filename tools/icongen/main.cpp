// Draws every image of the program's resource bundle and writes them into a folder
// (resources/image when run through the "icons" build target).
#include "glyphs.h"

#include <QBuffer>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QTextStream>

namespace {

QImage render(void (*draw)(QPainter &), int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 32.0, size / 32.0);
    draw(painter);
    return image;
}

QByteArray pngBytes(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// An icon file holding one PNG image per size: a directory of entries, then the images.
QByteArray icoBytes(const QVector<QImage> &images)
{
    const int headerSize = 6;
    const int entrySize = 16;
    QVector<QByteArray> pngs;
    for (const QImage &image : images)
        pngs << pngBytes(image);

    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out << quint16(0) << quint16(1) << quint16(images.size());
    quint32 offset = headerSize + entrySize * images.size();
    for (int i = 0; i < images.size(); ++i) {
        const int side = images.at(i).width();
        // A side of 256 is written as 0.
        out << quint8(side % 256) << quint8(side % 256) << quint8(0) << quint8(0);
        out << quint16(1) << quint16(32) << quint32(pngs.at(i).size()) << offset;
        offset += pngs.at(i).size();
    }
    for (const QByteArray &png : pngs)
        out.writeRawData(png.constData(), png.size());
    return bytes;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The window icon in the desktop's icon theme layout: SIZExSIZE/apps/klm704.png.
bool writeThemeIcons(const QDir &folder)
{
    bool ok = true;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString apps = QStringLiteral("%1x%1/apps").arg(size);
        ok &=
            folder.mkpath(apps) && writeFile(folder.filePath(apps + QStringLiteral("/klm704.png")),
                                             pngBytes(render(drawMeter, size)));
    }
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    // Painting text needs a GUI application, not a screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    QTextStream err(stderr);
    QStringList arguments = QGuiApplication::arguments();
    const bool theme = arguments.removeAll(QStringLiteral("--theme")) > 0;
    if (arguments.size() != 2) {
        err << "usage: icongen [--theme] OUTPUT_FOLDER\n"
               "  --theme  only the window icon, as an icon theme's SIZExSIZE/apps folders\n";
        return 2;
    }
    const QDir folder(arguments.at(1));
    if (!folder.mkpath(QStringLiteral("."))) {
        err << "cannot create " << folder.path() << "\n";
        return 1;
    }
    if (theme) {
        if (writeThemeIcons(folder))
            return 0;
        err << "could not write the theme icons into " << folder.path() << "\n";
        return 1;
    }
    bool ok = true;
    for (const Glyph &glyph : glyphs())
        ok &= writeFile(folder.filePath(glyph.fileName), pngBytes(render(glyph.draw, glyph.size)));
    ok &=
        writeFile(folder.filePath(QStringLiteral("app2.ico")),
                  icoBytes({render(drawMeter, 16), render(drawMeter, 32), render(drawMeter, 48)}));
    if (!ok) {
        err << "could not write every image into " << folder.path() << "\n";
        return 1;
    }
    return 0;
}
