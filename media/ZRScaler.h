#pragma once

#include "media/FFmpegHolders.h"

#include <QMutex>
#include <QObject>
#include <QString>

#include <atomic>

// Converts decoded pictures (normally the codec's YUV format) to another pixel format and
// size with libswscale. The context and the destination frame are kept and rebuilt only
// when the source size or format changes. Settings may be changed from another thread than
// the one that converts: everything but `ready` is guarded by the mutex.
class ZRScaler : public QObject
{
    Q_OBJECT

public:
    explicit ZRScaler(QObject* parent = nullptr);
    ~ZRScaler() override;

    ZRScaler(const ZRScaler&) = delete;
    ZRScaler& operator=(const ZRScaler&) = delete;

    // (Re)builds the context and the destination frame. dst_width/dst_height of 0 or less
    // mean the source size; keep_aspect fits the source into the requested size (never
    // enlarging it).
    void setup_scaler(int src_width, int src_height, int dst_width, int dst_height, bool keep_aspect,
                      int src_pix_fmt, int dst_pix_fmt);

    // Converts one picture. The returned frame belongs to the scaler and is overwritten by the
    // next scale or set-up; a holder that needs it longer takes its own reference
    // (av_frame_ref): the next scale then writes into fresh buffers instead.
    AVFrame* scale(const AVFrame* src);

    void set_name(const QString& name);
    void set_video_quality(int flags);
    bool is_ready() const;

    // Size and formats the context was last made for (for callers and tests).
    int get_output_width() const;
    int get_output_height() const;
    int get_src_pix_fmt() const;
    int get_dst_pix_fmt() const;

    // 1 for the full-range ("JPEG") YUV formats, 0 for every other format.
    static int range_of_format(int pix_fmt);

private:
    void reset();
    void apply_color_ranges(int src_range, int dst_range);

    mutable QMutex mutex;
    ff::SwsContextPtr context;
    ff::FramePtr destination;
    QString name;
    int video_quality = 1024; // SWS_SPLINE
    int src_pix_fmt = 0;
    int dst_pix_fmt = 28; // AV_PIX_FMT_BGRA
    int src_width = 0;
    int src_height = 0;
    int out_width = 0;
    int out_height = 0;
    int applied_src_range = -1;
    int applied_dst_range = -1;
    int requested_width = 0;
    int requested_height = 0;
    bool keep_aspect = true;
    bool alive = true;
    std::atomic<bool> ready{false};
};
