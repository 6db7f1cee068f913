#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class ColumnSpec;
class QAbstractItemModel;
class QPainter;
class QPrinter;
class QSize;

// Prints a table model through a print preview: title, print time, a ruled grid of the header
// and the rows with column widths after the columns' weights, and "page/pages" at the foot.
class TablePrinter : public QObject
{
    Q_OBJECT
public:
    explicit TablePrinter(QAbstractItemModel *model, QObject *parent = nullptr);

    void setTitle(const QString &title) { m_title = title; }
    void setColumns(const QList<ColumnSpec *> &columns) { m_columns = columns; }

    // Opens the maximised preview and returns when it is closed.
    void print();

    // Renders every page onto a painter that is already active on a page of the given size;
    // newPage moves the painter's device to the next page. Nothing is drawn for an empty table.
    void render(QPainter &painter, const QSize &page, const std::function<void()> &newPage);

public slots:
    void slotPaintRequested(QPrinter *printer);

private:
    QAbstractItemModel *m_model;
    QString m_title;
    QList<ColumnSpec *> m_columns;
};
