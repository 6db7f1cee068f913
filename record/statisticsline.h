#pragma once

#include <QString>
#include <QWidget>

// The line of figures under the record table, wrapped over as many lines as its width needs.
// It changes with every reading; a label given a new text lays the whole dock out again, this
// line asks for a new layout only when the text needs another number of lines, and otherwise
// repaints itself alone.
class StatisticsLine : public QWidget
{
public:
    explicit StatisticsLine(QWidget *parent = nullptr);

    const QString &text() const { return m_text; }
    void setText(const QString &text);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QString m_text;
    int m_height = 0; // what the text needed at the width the line was last given
};
