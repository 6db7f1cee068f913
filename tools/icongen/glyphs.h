#pragma once

#include <QPainter>
#include <QString>
#include <QVector>

// One image of the program's resource bundle: its file name, its size in pixels and how it
// is drawn on the 32×32 grid.
struct Glyph
{
    QString fileName;
    int size;
    void (*draw)(QPainter &p);
};

// Every image of the bundle. The panel's annunciator icons are 16 pixels, the size the panel
// shows them at, so that they need no scaling; the window icon is written separately.
const QVector<Glyph> &glyphs();
// The multimeter of the window icon.
void drawMeter(QPainter &p);
