#include "widgetplayer/ZRPlayer_TabWidget.h"

#include "app/Log.h"
#include "widgetplayer/WidgetPlayerResources.h"
#include "widgetplayer/ZRPlayer_TabBar.h"

ZRPlayer_TabWidget::ZRPlayer_TabWidget(QWidget* parent)
    : QTabWidget(parent)
{
    write_log("[INFO] ZRPlayer Tab :: construct");
    init_widgetplayer_resources();
    QHash<int, QPixmap> icons;
    icons.insert(0, QPixmap(QStringLiteral(":/imgs/directory.png")));
    icons.insert(1, QPixmap(QStringLiteral(":/imgs/playback.png")));
    icons.insert(2, QPixmap(QStringLiteral(":/imgs/alarms.png")));
    icons.insert(3, QPixmap(QStringLiteral(":/imgs/tag.png")));
    auto* bar = new ZRPlayer_TabBar(icons);
    bar->resize(40, 40);
    setTabBar(bar);
}

ZRPlayer_TabBar* ZRPlayer_TabWidget::icon_bar() const
{
    return static_cast<ZRPlayer_TabBar*>(tabBar());
}
