#pragma once

#include <QLabel>
#include <QString>

#include <functional>

// The status bar's message field, in place of QStatusBar::showMessage, which cuts a long text
// wherever the room ends, often mid-word. A message too long for the room it has is cut after a
// whole word and ends in "…"; its tooltip then holds the whole text. The label asks for no room
// of its own, so the fields beside it keep theirs.
class StatusMessageLabel : public QLabel
{
    Q_OBJECT
public:
    explicit StatusMessageLabel(QWidget *parent = nullptr);

    void showMessage(const QString &message);
    void clearMessage();
    QString message() const { return m_message; }

    QSize minimumSizeHint() const override;

    // The text as it fits into width, measured by textWidth: whole when it fits, else its
    // longest run of whole words (without a comma or colon at its end) followed by "…"; a
    // first word too long for the room is cut where the room ends. Empty when not even "…" fits.
    static QString elideAtWord(const QString &text, int width,
                               const std::function<int(const QString &)> &textWidth);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void fitMessage();

    QString m_message;
};
