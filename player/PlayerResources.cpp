#include "player/PlayerResources.h"

#include <QtGlobal>

#include <atomic>

void init_player_resources()
{
    static std::atomic<bool> done{false};
    if (done.exchange(true))
        return;
    Q_INIT_RESOURCE(zrplayer_qml);
    Q_INIT_RESOURCE(zrplayer_qml_timeline);
    Q_INIT_RESOURCE(zrplayer_qml_sidepanel);
}
