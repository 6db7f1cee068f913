#include "app/iconned_dock_style.h"

#include <QPainter>
#include <QStyleOptionDockWidget>

iconned_dock_style::iconned_dock_style(const QIcon &icon, QStyle *baseStyle)
    : QProxyStyle(baseStyle)
    , icon(icon)
{
}

void iconned_dock_style::drawControl(ControlElement element, const QStyleOption *option,
                                     QPainter *painter, const QWidget *widget) const
{
    const auto *dockOption = qstyleoption_cast<const QStyleOptionDockWidget *>(option);
    if (element != CE_DockWidgetTitle || !dockOption) {
        QProxyStyle::drawControl(element, option, painter, widget);
        return;
    }
    // The icon is a little smaller than a toolbar icon so that it fits the title bar.
    const int side = pixelMetric(PM_ToolBarIconSize) - 2;
    painter->drawPixmap(0, 0, icon.pixmap(side, side, QIcon::Normal, QIcon::Off));
    QStyleOptionDockWidget shifted(*dockOption);
    shifted.rect.setLeft(shifted.rect.left() + side);
    QProxyStyle::drawControl(element, &shifted, painter, widget);
}
