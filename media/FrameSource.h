#pragma once

#include "media/DecodeAhead.h"
#include "media/DecodedGroupCache.h"
#include "media/ZRFrame.h"
#include "media/ZRScaler.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

#include <memory>

struct AVFrame;
class VideoDecoder;

// Where the playback reader's pictures come from: reads one frame's bytes from its data file and
// decodes them, (re)opening the decoder for the frame's codec and, when the decoder does not hold
// the frame just before, decoding the group from its key frame first, as a straight decode would
// have. It knows nothing of pacing or of the files around: the reader hands it its frame list
// with every call. Used by one thread.
class FrameSource
{
public:
    FrameSource();
    ~FrameSource();

    FrameSource(const FrameSource&) = delete;
    FrameSource& operator=(const FrameSource&) = delete;

    // The last key frame of frames at or before frame i (i past the end counts from the last
    // frame); -1 when there is none.
    static int key_frame_at_or_before(const QList<ZRFrame>& frames, int i);

    // Reads and decodes frame i of frames, which must belong to stream sid exactly. False when
    // the frame is refused, cannot be read or no decoder is open (a log line says which).
    // Otherwise *picture is the picture, BGRA at its own size with convert and in the codec's
    // format without, or null when the codec gave none for this packet; it stays valid until
    // the next read or decoder change.
    bool read(const QList<ZRFrame>& frames, int i, const QString& sid, bool convert, AVFrame** picture);

    // Play going backward: the picture of frame target, decoded from key frame k, BGRA at its own
    // size, taken from the group cache (the group of k is decoded once, forward, when it is not
    // held yet). It is the picture read() gives after reading k..target-1 silently, with the
    // same size and key-frame flag. False when the cache cannot give it: the caller then decodes
    // from the key frame with read(). *picture stays valid until the next read.
    bool read_from_group(const QList<ZRFrame>& frames, int k, int target, const QString& sid, AVFrame** picture);
    // Whether taking frames[target] from the group of key frame k would wait for the worker (its
    // decoding is started when the group is not held). False when the cache is off.
    bool group_still_decoding(const QList<ZRFrame>& frames, int k, int target, const QString& sid);
    // Has frames[k..last] decoded on the worker while play shows the group after it (or, with
    // behind_last, once the group play waits for is decoded).
    void prepare_group(const QList<ZRFrame>& frames, int k, int last, const QString& sid, bool behind_last = false);
    // Forgets every decoded group (play goes forward again, or elsewhere).
    void drop_groups();
    // Off, every picture comes from a decode from its key frame (tests compare the two ways).
    void set_group_cache_enabled(bool on);
    DecodedGroupCache& group_cache() { return groups; }
    int group_pictures_served() const { return served_from_groups; }

    // Play's next pictures decoded and converted on a worker (rates 1 and 2 to 8): aims it at play
    // from frames[start] on (nothing changes when it is on that way already), gives it the next
    // recording's frames to go on with, forgets what it has.
    void aim_ahead(const QList<ZRFrame>& frames, int start, DecodeAhead::Walk walk, const QString& sid, bool waiting,
                   bool rate_one);
    void follow_ahead(const QList<ZRFrame>& next);
    void drop_ahead();
    // The picture of frames[i] from the worker (*waiting_after in: play at rate 1 waits for a key
    // frame there; out: after it): on Ready, *picture (BGRA, null when the codec gave
    // none or the frame was not read) stays valid until the next take; the width, height and
    // key-frame flag reported and the last read index are this frame's, as after read().
    DecodeAhead::Take take_ahead(const QList<ZRFrame>& frames, int i, const QString& sid, AVFrame** picture,
                                 bool* read, bool* waiting_after);
    // Off, play decodes every picture itself when the tick asks for it (tests compare both ways).
    void set_decode_ahead_enabled(bool on);
    bool decode_ahead_enabled() const { return ahead_enabled; }
    // Null until play first aimed it.
    DecodeAhead* decode_ahead() const { return ahead.get(); }
    // Made on demand (tests hold it before play aims it).
    DecodeAhead& decode_ahead_worker();

    // Replaces the decoder with one opened for a codec text; false when none could be opened
    // (every read then fails until a frame of another codec opens one).
    bool init_decoder_for_codec(const QString& codec);

    // The next read opens its frame's data file again.
    void close_data_file();

    // The frame whose bytes were read last; the reader's steps also set it to say where they
    // stand.
    int get_last_read_index() const { return last_read_index; }
    void set_last_read_index(int i) { last_read_index = i; }

    // Of the last picture decoded.
    int get_width() const;
    int get_height() const;
    bool get_is_keyframe() const;

private:
    // Whether the group cache may give frames[target] decoded from key frame frames[k].
    bool group_serves(const QList<ZRFrame>& frames, int k, int target, const QString& sid) const;
    // Reads frame i's bytes into read_buffer.
    bool read_packet(const QList<ZRFrame>& frames, int i);
    // Whether the last packet the decoder was given is the one before frame i.
    bool decoder_follows(const QList<ZRFrame>& frames, int i) const;

    std::unique_ptr<VideoDecoder> decoder;
    bool decoder_open = false;
    QFile data_file;
    QString data_file_name;
    QByteArray read_buffer;
    int last_read_index = 0;
    // The last packet given to the decoder (data file and offset), to tell whether the next
    // one follows it; offset -1 when none.
    QString fed_file;
    qint64 fed_offset = -1;
    bool priming = false;

    DecodedGroupCache groups;
    bool groups_enabled = true;
    int served_from_groups = 0;
    // Converts the pictures of the group cache as the decoder's own scaler does.
    ZRScaler group_scaler;
    // Made when play first aims it (a frame source of its own runs inside).
    std::unique_ptr<DecodeAhead> ahead;
    bool ahead_enabled = true;
    ff::FramePtr ahead_picture;
    // Of the last picture given out, by any way.
    int picture_width = -1;
    int picture_height = -1;
    bool picture_key = false;
};
