#include "display/statusmessagelabel.h"

namespace {

const QString kEllipsis = QStringLiteral("\u2026");
const QString kClauseMarks = QStringLiteral(",;:");

} // namespace

StatusMessageLabel::StatusMessageLabel(QWidget *parent)
    : QLabel(parent)
{
    setObjectName(QStringLiteral("lblMessage"));
    setTextFormat(Qt::PlainText);
    // Whatever room the bar has left, however long the message.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void StatusMessageLabel::showMessage(const QString &message)
{
    m_message = message;
    fitMessage();
}

void StatusMessageLabel::clearMessage()
{
    showMessage(QString());
}

QSize StatusMessageLabel::minimumSizeHint() const
{
    return QSize(0, QLabel::minimumSizeHint().height());
}

QString StatusMessageLabel::elideAtWord(const QString &text, int width,
                                        const std::function<int(const QString &)> &textWidth)
{
    if (textWidth(text) <= width)
        return text;
    // Words are added while they fit; a longer run never fits where a shorter one did not.
    QString words;
    for (int space = text.indexOf(QLatin1Char(' '), 1); space > 0;
         space = text.indexOf(QLatin1Char(' '), space + 1)) {
        QString candidate = text.left(space).trimmed();
        while (!candidate.isEmpty() && kClauseMarks.contains(candidate.back()))
            candidate.chop(1);
        if (textWidth(candidate + kEllipsis) > width)
            break;
        words = candidate;
    }
    if (!words.isEmpty())
        return words + kEllipsis;
    for (int length = text.size() - 1; length > 0; --length) {
        if (textWidth(text.left(length) + kEllipsis) <= width)
            return text.left(length) + kEllipsis;
    }
    return QString();
}

void StatusMessageLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    fitMessage();
}

void StatusMessageLabel::fitMessage()
{
    const QFontMetrics metrics = fontMetrics();
    const QString shown =
        elideAtWord(m_message, contentsRect().width(),
                    [&metrics](const QString &text) { return metrics.horizontalAdvance(text); });
    setText(shown);
    setToolTip(shown == m_message ? QString() : m_message);
}
