#include "widgetplayer/WidgetPlayerResources.h"

#include <QtGlobal>

#include <atomic>

void init_widgetplayer_resources()
{
    static std::atomic<bool> done{false};
    if (done.exchange(true))
        return;
    Q_INIT_RESOURCE(zrwidgetplayer);
}
