#pragma once

#include "record/readingsummary.h"

#include <QCoreApplication>
#include <QString>
#include <QWidget>

class DMMChart;

// The line of figures under the record table (the recording's, or while the chart is zoomed, the
// stretch's in view), wrapped over as many lines as its width needs.
// It changes with every reading; a label given a new text lays the whole dock out again, this
// line asks for a new layout only when the text needs another number of lines, and otherwise
// repaints itself alone.
class StatisticsLine : public QWidget
{
    Q_DECLARE_TR_FUNCTIONS(StatisticsLine)
public:
    explicit StatisticsLine(QWidget *parent = nullptr);

    // The unit the figures are written in: the recording's.
    void setUnit(const RecordingUnit &unit) { m_unit = unit; }
    // Shows the figures of the readings of the chart's first line that it takes them over.
    void showFigures(const DMMChart &chart);

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
    QString figuresText(const DMMChart &chart) const;

    QString m_text;
    RecordingUnit m_unit;
    int m_height = 0; // what the text needed at the width the line was last given
};
