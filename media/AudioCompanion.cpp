#include "media/AudioCompanion.h"

#include "app/Log.h"
#include "media/ff_audio_decoder_sdl_player.h"
#include "store/StoreLayout.h"

namespace {

const QString kPrefix = QStringLiteral("[INFO] ZRStream read & control :: ");

} // namespace

AudioCompanion::~AudioCompanion()
{
    if (!audio_player)
        return;
    write_log(kPrefix + QStringLiteral("destruct ;; stop audio stream"));
    audio_player->stop_stream();
    audio_player->deleteLater();
    audio_player = nullptr;
}

void AudioCompanion::set_player(ff_audio_decoder_sdl_player* p)
{
    if (audio_player == p)
        return;
    delete audio_player;
    audio_player = p;
}

bool AudioCompanion::bind(const QFileInfo& file)
{
    write_log(kPrefix + QStringLiteral("init audio & start :: ") + file.fileName());
    const QString path = audioCompanionPathOf(file.filePath());
    if (path.isEmpty())
        return false;
    if (!QFileInfo::exists(path)) {
        if (audio_player) {
            write_log(kPrefix + QStringLiteral("init audio & start :: stop"));
            audio_player->set_stop_framereader_timer();
        }
        return false;
    }
    if (audio_player) {
        write_log(kPrefix + QStringLiteral("init audio & start :: set new audio file :: ") + path);
        audio_player->change_audio_file(path);
    }
    return true;
}

void AudioCompanion::position(const QString& audio_time, const QString& video_time)
{
    if (audio_player)
        audio_player->set_new_timestamp(audio_time, video_time);
}

void AudioCompanion::follow_rate(double rate)
{
    if (!audio_player)
        return;
    if (rate == 1.0)
        audio_player->set_start_framereader_timer();
    else
        audio_player->set_stop_framereader_timer();
}

void AudioCompanion::stop()
{
    if (!audio_player)
        return;
    write_log(kPrefix + QStringLiteral("stop : stop audio stream"));
    audio_player->stop_stream();
    delete audio_player;
    audio_player = nullptr;
}
