#pragma once

#include <QFileInfo>
#include <QString>

class ff_audio_decoder_sdl_player;

// The playback reader's audio player, kept in step with the reader: bound to each recording's
// sound, positioned on a seek, its frame reader started at rate 1 and stopped at any other rate.
// It owns the player: stop() stops and deletes it, and so does the companion's end (deleted
// later then, as the reader may go from inside one of the player's calls). Without a player it
// only tells whether a recording has sound.
class AudioCompanion
{
public:
    AudioCompanion() = default;
    ~AudioCompanion();

    AudioCompanion(const AudioCompanion&) = delete;
    AudioCompanion& operator=(const AudioCompanion&) = delete;

    // Takes the player over; a player held before is deleted.
    void set_player(ff_audio_decoder_sdl_player* p);
    ff_audio_decoder_sdl_player* player() const { return audio_player; }

    // Binds the sound of the recording whose seek table is file (stops the frame reader when it
    // has none); true when the sound exists.
    bool bind(const QFileInfo& file);
    // The reader went to the key frame of time video_time for the wanted time audio_time.
    void position(const QString& audio_time, const QString& video_time);
    void follow_rate(double rate);
    // Stops the player and deletes it.
    void stop();

private:
    ff_audio_decoder_sdl_player* audio_player = nullptr;
};
