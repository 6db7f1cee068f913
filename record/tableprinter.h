#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <climits>
#include <functional>

class ColumnSpec;
class PrintGeometry;
class QAbstractItemModel;
class QDialog;
class QPainter;
class QPrinter;
class QSize;

// Pages first ... last of a printed table, counted from 0.
struct PageRange
{
    int first = 0;
    int last = INT_MAX;
};

// Prints a table model through a print preview: title, print time, a ruled grid of the header
// and the rows with column widths after the columns' weights, and "page/pages" at the foot. A long
// table's pages are rendered with a progress dialog whose Cancel stops them, the event loop
// turning between pages; its preview shows the first kPreviewPages pages, and printing gives
// every page, or the range chosen.
class TablePrinter : public QObject
{
    Q_OBJECT
public:
    // The most pages a preview holds: each is kept as a picture, and two weeks of readings
    // fill some 200,000 pages.
    static constexpr int kPreviewPages = 500;

    explicit TablePrinter(QAbstractItemModel *model, QObject *parent = nullptr);

    void setTitle(const QString &title) { m_title = title; }
    void setColumns(const QList<ColumnSpec *> &columns) { m_columns = columns; }

    // Opens the maximised preview and returns when it is closed.
    void print();

    // Renders the pages (those the table fills, of all unless told) onto a painter that is
    // already active on a page of the given size; newPage moves the painter's device to the next
    // page. goOn is told the pages done before each further page; false from it stops the
    // rendering. Returns whether every page was rendered. Nothing is drawn for an empty table.
    bool render(QPainter &painter, const QSize &page, const std::function<void()> &newPage,
                PageRange pages = {}, const std::function<bool(int done)> &goOn = {});

public slots:
    void slotPaintRequested(QPrinter *printer);

private:
    PrintGeometry geometry(QPainter &painter, const QSize &page) const;

    QAbstractItemModel *m_model;
    QString m_title;
    QList<ColumnSpec *> m_columns;
    // The preview while it is open.
    QDialog *m_preview = nullptr;
};
