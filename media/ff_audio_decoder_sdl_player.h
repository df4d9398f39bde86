#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QDataStream>
#include <QMutex>
#include <QString>
#include <QThread>
#include <QTime>

#include <atomic>
#include <cstdint>

class Http_header_parser;
class QTimer;
class ZRAudioVideoFileReader;
struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVIOContext;
struct SwrContext;

// Plays sound through an SDL2 audio device in queued mode: either a recording's ".zraudio"
// data file, one seek-table line at a time and kept in step with the time stamps of the video
// being played, or an audio stream opened by its address. Decodes with FFmpeg and converts to
// 16-bit stereo with libswresample. Reports its state with send_message(colour, text).
//
// The owner creates it, starts its decode loop (begin_stream), feeds it the video's times and
// drives the frame timer; the timer and its slots run in the owner's thread, the decoding in
// the player's own thread. The reader's byte buffer is filled and rewound only under
// buffer_mutex, which the decoding holds while it reads, so the two threads never race on it.
class ff_audio_decoder_sdl_player : public QThread
{
    Q_OBJECT

public:
    // audio_file set: recording playback (FFmpeg reads through the reader's buffer); otherwise
    // the stream at stream_address. The header record is borrowed.
    explicit ff_audio_decoder_sdl_player(QString audio_file = QString(), QString stream_address = QString(),
                                         Http_header_parser* header = nullptr);
    // Stops the decode loop and waits for it.
    ~ff_audio_decoder_sdl_player() override;

    void change_audio_file(QString path);
    void set_new_timestamp(QString audio_time, QString video_time);

    // Owner-side views used by tests and by the owner's status display.
    int get_current_index() const { return current_index.load(); }
    bool is_frame_timer_running() const;
    bool is_stopped() const { return stop.load(); }

public slots:
    void read_stream(char* buffer_curl, int array_size);
    void begin_stream();
    void stop_stream();
    void get_video_frame_timestamp(QString time);
    void set_stop_framereader_timer();
    void set_start_framereader_timer();

signals:
    void send_message(QString colour, QString text);
    void send_buffer_level(int channel_count, int level_id, double level_value);
    void stopped();
    void stop_timer();
    void send_slidervalue(int index, QString timestamp);
    void send_settime(QTime time);
    void send_parsing_finished();

protected:
    void run() override;

private slots:
    void calculate_bandwidth();
    void stop_and_delete_timer();
    void read_next_audio_frame();

private:
    struct DecoderContext;

    void open_and_play(bool stream);
    bool decode_and_play();
    void fail(const QString& text);
    // True for the first decode loop of a player that is not stopped.
    bool claim_decode_loop();
    // Waits, unless stopped, until the device has played what was queued.
    void drain_device();
    // True (after the RED message) when the header record names a multipart stream of a type
    // that is not playable audio.
    bool refused_by_header();
    void release();
    // Reads frame index into the reader's buffer and rewinds the data stream; caller holds
    // buffer_mutex.
    bool load_frame(int index);
    // A new reader parsing path's seek table, its buffer behind the data stream; caller holds
    // buffer_mutex.
    void rebind_reader(const QString& path);
    // The reader's frame for a time; a time between two frames, or after the last one, gives
    // the next frame to come (the frame count when none). Caller holds buffer_mutex.
    int index_for_time(const QString& time) const;
    void create_frame_timer(const char* where);
    QString frame_stamp(int index) const;

    static int read_packet(void* opaque, uint8_t* buffer, int size);
    static int64_t seek_packet(void* opaque, int64_t offset, int whence);
    static int interrupt_callback(void* opaque);
    static qint64 now_ticks();

    // Inputs
    Http_header_parser* header = nullptr;
    QString audio_file;
    QString stream_address;
    ZRAudioVideoFileReader* file_reader = nullptr;
    QBuffer data_device;         // over the reader's buffer; the data stream's device
    QDataStream data_stream;
    bool custom_input = false;

    // FFmpeg and SDL
    DecoderContext* decoder = nullptr;
    AVFormatContext* format_context = nullptr;
    AVIOContext* io_context = nullptr;
    int io_buffer_size = 4096;
    int audio_stream_index = -1;
    int device_id = 0;
    std::atomic<bool> started{false};
    bool device_open = false;
    bool flush_first_frame = false;
    bool sdl_initialised = false;

    // Playback position (owner's thread)
    QString video_timestamp;
    QString audio_timestamp;
    QString last_played_timestamp;
    std::atomic<int> current_index{-1};
    bool waiting_for_video = false;
    std::atomic<bool> seek_ready{false};
    QTimer* frame_timer = nullptr;
    bool framereader_stopped = false;

    // Control
    std::atomic<bool> stop{false};
    std::atomic<bool> data_ready{false};
    QTimer* bandwidth_timer = nullptr;
    std::atomic<bool> counting_bytes{false};
    // Guards the reader, its buffer and the data stream between the owner's thread and the
    // decoding.
    mutable QMutex buffer_mutex;

    static std::atomic<qint64> last_activity;
    static std::atomic<qint64> byte_counter;
    static std::atomic<bool> interrupted;
};
