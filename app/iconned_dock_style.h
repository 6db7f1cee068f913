#pragma once

#include <QIcon>
#include <QProxyStyle>

// Draws an icon at the left of a dock widget's title bar and moves the title text right of it.
class iconned_dock_style : public QProxyStyle
{
    Q_OBJECT
public:
    // Takes ownership of baseStyle, like every QProxyStyle; null wraps the desktop style.
    iconned_dock_style(const QIcon &icon, QStyle *baseStyle = nullptr);

    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget = nullptr) const override;

private:
    QIcon icon;
};
