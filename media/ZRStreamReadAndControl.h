#pragma once

#include "media/AudioCompanion.h"
#include "media/BackwardPace.h"
#include "media/FrameSource.h"
#include "media/ZRFrame.h"

#include <QFileInfo>
#include <QFuture>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QTime>

#include <cstdint>
#include <memory>

class QTimer;
struct AVFrame;

// The playback engine: plays one camera's recordings of one day. It parses a recording's seek
// table, takes each picture from its FrameSource (read, decoded, converted to BGRA) and hands it
// over with set_display_frame; itself it paces play, steps and crosses from file to file. It derives from QThread but is never started: every
// operation runs in the thread that owns it (the GUI thread), driven by calls and by its own
// timer; only the seek-table prefetch runs on the global thread pool, and, going backward, the
// decoding of whole groups of pictures on the frame source's worker.
//
// The pixels passed by set_display_frame stay valid until every receiver in the reader's thread
// has run its slot (direct or queued), even if the reader decodes again, changes decoder or is
// destroyed in between: the reader holds a reference to the picture and drops it from a call
// queued behind the frame's delivery.
class ZRStreamReadAndControl : public QThread
{
    Q_OBJECT

public:
    ZRStreamReadAndControl();
    ~ZRStreamReadAndControl() override;

    bool init_displayer_for_stream(QFileInfo file, QString stream_id, QList<QFileInfo> data_files);
    bool continue_read(QString file_name, QString stream_id, bool play, QString direction);
    QList<ZRFrame> read_seek_file(QList<QFileInfo> files, QString stream_id);
    void stop();
    QString get_idstream();

    // Play in a direction at the current rate (replaces the play timer); pause toggle.
    void read_forward();
    void read_backward();
    void toggle_pause();

    // State, for the controller's displays and for tests.
    int get_index() const { return index; }
    int get_last_read_index() const { return source.get_last_read_index(); }
    double get_fps() const { return fps; }
    double get_effective_fps() const { return effective_fps; }
    QList<ZRFrame> get_frames() const { return frames; }
    QList<QFileInfo> get_files() const { return files; }
    QFileInfo get_current_file() const { return current_file; }
    int get_rate() const { return rate; }
    bool is_playing() const;
    int get_timer_interval() const; // -1 without a timer
    bool is_playing_backward() const { return timer_backward; }
    // Blocks until the pictures of the next play ticks are decoded ahead (tests tick by hand).
    void wait_decode_ahead();
    // Off, each play tick decodes its picture itself (tests compare both ways).
    void set_decode_ahead_enabled(bool on) { source.set_decode_ahead_enabled(on); }
    int pictures_decoded_ahead() const { return source.decode_ahead() ? source.decode_ahead()->taken() : 0; }
    int pictures_late() const { return source.decode_ahead() ? source.decode_ahead()->late() : 0; }
    // Frames play at -1 went past while the group it shows next was still being decoded.
    int backward_frames_owed() const { return pace.owed(); }

    // The audio player, kept in step with the reader's file, position and rate. Taken over
    // (stopped and deleted with the reader or on stop()); while none is set the reader is silent.
    void set_audio_player(ff_audio_decoder_sdl_player* player) { audio.set_player(player); }
    ff_audio_decoder_sdl_player* get_audio_player() const { return audio.player(); }

signals:
    void error(int code);
    void parsing_finished();
    void slidervalue(int index, QString timestamp);
    void setTime(QTime time);
    void set_next_file();
    void set_previous_file();
    void set_display_frame(uint8_t* frame, int linesize, int width, int height, QString timestamp,
                           QString drawoverlay, bool isUnwrapped, int frame_id, double fps, bool is_keyframe);
    void send_available_videostream(QStringList streams);

public slots:
    void set_read_timestamp(QString timestamp);
    void read_and_display_next_frame(bool step = false);
    void read_and_display_previous_frame(bool step = false);
    void change_rate(double rate);
    void setup_fps(double fps);
    void slider_pressed();

private slots:
    // The backward step into a prefetched previous file: shows its last frame.
    void step_into_last_frame();

protected:
    bool read_frame(bool silent, int index, QString stream_id);
    double get_fps_estimate();
    void set_index(int i);
    bool open_first_frame(const QString& stream_id);

    // Parse of one file as the reader does it (also on the thread pool): emits the streams found.
    QList<ZRFrame> parse_seek(const QString& path, const QString& stream_id, QString* detected = nullptr);

    // Seek-table prefetch of the neighbouring files.
    void triggerPrefetch(const QString& stream_id);
    void triggerPrefetchPrev(const QString& stream_id);
    void reset_forward_prefetch();
    void reset_backward_prefetch();
    QFuture<QList<ZRFrame>> start_parse_task(const QFileInfo& file, const QString& stream_id);

    bool check_next_prefetch_target(QFileInfo expected);
    bool check_previous_prefetch_target(QFileInfo expected);
    // Every crossing into a neighbouring file: it becomes the current file with its frames, the
    // position stands at its first frame (forward) or its last, the data file is closed and the
    // prefetch in that direction restarts from it.
    void adopt_file(const QFileInfo& file, const QList<ZRFrame>& list, bool forward, const QString& log_line);
    void switch_to_next_file();
    void switch_to_previous_file();
    qsizetype current_file_position() const; // -1 when the current file is not in the list
    QFileInfo next_file_in_list() const;
    QFileInfo previous_file_in_list() const;
    // Parses a neighbour's seek table for the current stream, retrying with the stream the file
    // holds; retried tells whether the stream id changed.
    QList<ZRFrame> parse_with_stream_retry(const QFileInfo& entry, const QString& direction, bool* retried);
    void step_across_end();
    void step_forward_without_keyframe();
    void step_across_start(bool no_keyframe_before_target);
    void stop_play();
    void replace_timer(bool backward);
    // Shows target, decoded from key frame k (going backward, from the group cache when it can),
    // with the position signals; false when target gave no picture.
    bool show_from_keyframe(int k, int target, bool backward);
    // Going backward: has the group before the one of key frame k decoded ahead (after that
    // one, when play still waits for it).
    void prepare_group_before(int k, bool waiting = false);
    // Has the frame source decode ahead what the next play tick shows (nothing while no play
    // timer is set up); at rate -1, the group of the first tick's frame.
    void aim_ahead();
    // A play tick at rate 1 or 2 to 8 taking frame i from what was decoded ahead: false when
    // decoding ahead is off or the worker is not on that way (the tick decodes itself). A picture
    // being decoded (or, at rate 1, still to come) is asked for again by the next tick; a key
    // frame the worker has not started is passed over as one that cannot be read.
    bool tick_ahead(int i, bool backward);
    // Emits a picture of frame i.
    bool hand_over(AVFrame* picture, int i);
    // After a step the decoder holds the shown picture: play may go on from it.
    void step_shown(bool shown);
    void emit_position(int i);
    int timer_frames_per_second() const;

    // The play timer is dropped from inside its own timeout (a switch that ends play): it is
    // always stopped and deleted later, never deleted in place.
    struct TimerRelease
    {
        void operator()(QTimer* t) const;
    };

    QList<QFileInfo> files;
    QFileInfo current_file;
    QList<ZRFrame> frames;
    QHash<int, QString> camera_names;
    std::unique_ptr<QTimer, TimerRelease> timer;
    FrameSource source;

    QFuture<QList<ZRFrame>> next_prefetch;
    QFileInfo next_prefetch_file;
    QString next_prefetch_stream;
    QFuture<QList<ZRFrame>> previous_prefetch;
    QFileInfo previous_prefetch_file;
    QString previous_prefetch_stream;
    // Every task started and not yet known to be finished, reset ones included: the destructor
    // waits for them, since they emit on the reader.
    QList<QFuture<QList<ZRFrame>>> prefetch_tasks;

    bool wait_for_keyframe = true;
    QString stream_id;
    double effective_fps = -1.0;
    double fps = -1.0;
    int index = 0;
    int rate = 1;
    bool busy = false;
    BackwardPace pace;
    bool timer_backward = false;
    // index is the picture on screen (a backward step) rather than the next one to play forward.
    bool index_shown = false;
    // Declared last: the player is stopped before the reader's other parts go.
    AudioCompanion audio;
};
