#pragma once

#include "media/FFmpegHolders.h"

#include <QString>

#include <cstdint>

// One video frame on its way from a producer thread to a consumer thread: a reference to a
// decoded picture, or (raw mode) a private copy of the frame's encoded bytes, with its time
// stamp, overlay text, frame tag, frame id and frame rate. Created with new by the producer,
// deleted by the consumer that takes it off the queue; touched by one thread at a time.
class DecodedFrame
{
public:
    DecodedFrame();
    ~DecodedFrame();

    DecodedFrame(const DecodedFrame&) = delete;
    DecodedFrame& operator=(const DecodedFrame&) = delete;

    // Takes the record's own reference to src (the picture stays valid after the decoder has
    // moved on); drops a raw copy. A null src changes nothing.
    void set_frame(const AVFrame* src);
    // Raw mode: keeps a private copy of size bytes; releases the picture.
    void set_frame_data(const uint8_t* data, int size);
    // A copy of at most 128 characters; null leaves none.
    void set_timestamp(const char* text);

    const char* get_timestamp() const { return timestamp; }
    AVFrame* get_frame() const { return frame.get(); }
    uint8_t* get_frame_data() const { return frame_data; }
    int get_frame_length() const { return frame_length; }

    int get_pix_fmt() const { return pix_fmt; }
    void set_pix_fmt(int v) { pix_fmt = v; }
    int get_width() const { return width; }
    void set_width(int v) { width = v; }
    int get_height() const { return height; }
    void set_height(int v) { height = v; }
    int get_frameid() const { return frame_id; }
    void set_frameid(int v) { frame_id = v; }
    double get_fps() const { return fps; }
    void set_fps(double v) { fps = v; }
    bool get_is_keyframe() const { return key_frame; }
    void set_is_keyframe(bool v) { key_frame = v; }
    QString get_drawoverlay() const { return draw_overlay; }
    void set_drawoverlay(QString v) { draw_overlay = std::move(v); }
    QString get_frametag() const { return frame_tag; }
    void set_frametag(QString v) { frame_tag = std::move(v); }

    // Bookkeeping filled by set_frame; no consumer needs it.
    quint64 get_buffer_size() const { return buffer_size; }
    quint64 get_plane_bytes() const { return plane_bytes; }
    quint64 get_buffer_bytes() const { return buffer_bytes; }
    int get_linesize(int i) const { return i >= 0 && i < 3 ? linesizes[i] : 0; }

    // Set by the producer just before it queues the record.
    bool filled = false;

private:
    void reset_picture_fields();
    void free_frame_data();

    QString id = QStringLiteral("-1");
    ff::FramePtr frame;
    int pix_fmt = -1;
    QString draw_overlay;
    QString frame_tag;
    char* timestamp = nullptr;
    int frame_length = 0;
    int frame_id = -1;
    int width = -1;
    int height = -1;
    quint64 buffer_size = 0;
    quint64 plane_bytes = 0;
    quint64 buffer_bytes = 0;
    int linesizes[3] = {0, 0, 0};
    double fps = -1.0;
    bool key_frame = false;
    uint8_t* frame_data = nullptr;
};
