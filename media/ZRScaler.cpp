#include "media/ZRScaler.h"

#include "app/Log.h"
#include "media/PictureBuffers.h"

#include <QMutexLocker>

#include <algorithm>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

ZRScaler::ZRScaler(QObject* parent)
    : QObject(parent)
{
}

ZRScaler::~ZRScaler()
{
    alive = false;
    QMutexLocker lock(&mutex);
    reset();
    ready = false;
}

int ZRScaler::range_of_format(int pix_fmt)
{
    switch (pix_fmt) {
    case AV_PIX_FMT_YUVJ420P:
    case AV_PIX_FMT_YUVJ422P:
    case AV_PIX_FMT_YUVJ444P:
    case AV_PIX_FMT_YUVJ440P:
        return 1;
    default:
        return 0;
    }
}

void ZRScaler::reset()
{
    destination.reset();
    context.reset();
    src_width = src_height = 0;
    out_width = out_height = 0;
    applied_src_range = applied_dst_range = -1;
}

void ZRScaler::setup_scaler(int src_w, int src_h, int dst_w, int dst_h, bool keep, int src_fmt, int dst_fmt)
{
    QMutexLocker lock(&mutex);
    requested_width = dst_w;
    requested_height = dst_h;
    keep_aspect = keep;

    if (src_w < 1 || src_h < 1) {
        write_log(QStringLiteral("[WARN] ZRScaler [") + name + QStringLiteral("] :: setup_scaler invalid src size"));
        ready = false;
        return;
    }

    const int target_w = dst_w > 0 ? dst_w : src_w;
    const int target_h = dst_h > 0 ? dst_h : src_h;
    int ow = target_w;
    int oh = target_h;
    if (keep && target_w >= 1 && target_h >= 1) {
        const double sw = src_w, sh = src_h, tw = target_w, th = target_h;
        double f = (sw / sh > tw / th) ? tw / sw : th / sh;
        f = std::min(f, 1.0);
        ow = std::max(static_cast<int>(sw * f), 1);
        oh = std::max(static_cast<int>(sh * f), 1);
    }

    if (context && destination && src_w == src_width && src_h == src_height && ow == out_width
        && oh == out_height && src_fmt == src_pix_fmt && dst_fmt == dst_pix_fmt)
        return;

    reset();
    src_pix_fmt = src_fmt;
    dst_pix_fmt = dst_fmt;
    src_width = src_w;
    src_height = src_h;
    out_width = ow;
    out_height = oh;

    context.reset(sws_getContext(src_w, src_h, static_cast<AVPixelFormat>(src_fmt), ow, oh,
                             static_cast<AVPixelFormat>(dst_fmt), video_quality, nullptr, nullptr, nullptr));
    if (!context) {
        write_log(QStringLiteral("[ERROR] ZRScaler [") + name + QStringLiteral("] :: sws_getContext failed"));
        reset();
        ready = false;
        return;
    }

    apply_color_ranges(range_of_format(src_fmt), range_of_format(dst_fmt));

    destination = ff::make_frame();
    if (!destination) {
        write_log(QStringLiteral("[ERROR] ZRScaler [") + name + QStringLiteral("] :: av_frame_alloc failed"));
        reset();
        ready = false;
        return;
    }
    destination->format = dst_fmt;
    destination->width = ow;
    destination->height = oh;
    // Large pages: the first conversion into a fresh 4K picture otherwise spends a tick faulting
    // its 33 MB in.
    if (!PictureBuffers::allocate(destination.get(), 32)) {
        write_log(QStringLiteral("[ERROR] ZRScaler [%1] :: av_frame_get_buffer failed: %2").arg(name).arg(AVERROR(ENOMEM)));
        reset();
        ready = false;
        return;
    }
    write_log(QStringLiteral("[DEBUG] ZRScaler [%1] :: setup OK: dst=%2x%3 data0=%4 ls0=%5")
                  .arg(name)
                  .arg(ow)
                  .arg(oh)
                  .arg(reinterpret_cast<quintptr>(destination->data[0]))
                  .arg(destination->linesize[0]));
    ready = true;
}

void ZRScaler::apply_color_ranges(int src_range, int dst_range)
{
    if (!context)
        return;
    if (src_range == applied_src_range && dst_range == applied_dst_range)
        return;
    const int* table = sws_getCoefficients(SWS_CS_DEFAULT);
    const int rc = sws_setColorspaceDetails(context.get(), table, src_range, table, dst_range, 0, 1 << 16, 1 << 16);
    if (rc < 0) {
        write_log(QStringLiteral("[WARN] ZRScaler [%1] :: sws_setColorspaceDetails failed: %2").arg(name).arg(rc));
        return;
    }
    applied_src_range = src_range;
    applied_dst_range = dst_range;
    write_log(QStringLiteral("[DEBUG] ZRScaler [%1] :: colorspace range set: src=%2 dst=%3")
                  .arg(name, src_range ? QStringLiteral("full") : QStringLiteral("limited"),
                       dst_range ? QStringLiteral("full") : QStringLiteral("limited")));
}

AVFrame* ZRScaler::scale(const AVFrame* src)
{
    QMutexLocker lock(&mutex);
    if (!alive || !src || !src->data[0] || !context || !destination)
        return nullptr;

    if (src->width != src_width || src->height != src_height || src->format != src_pix_fmt) {
        const int rw = requested_width, rh = requested_height, df = dst_pix_fmt;
        const bool keep = keep_aspect;
        lock.unlock();
        setup_scaler(src->width, src->height, rw, rh, keep, src->format, df);
        lock.relock();
        if (!context || !destination)
            return nullptr;
    }

    // A holder of a reference to the previous picture keeps it: the write goes to new buffers.
    const int rc = av_frame_make_writable(destination.get());
    if (rc < 0) {
        write_log(QStringLiteral("[WARN] ZRScaler [%1] :: av_frame_make_writable failed: %2").arg(name).arg(rc));
        return nullptr;
    }

    int src_range;
    if (src->color_range == AVCOL_RANGE_JPEG)
        src_range = 1;
    else if (src->color_range == AVCOL_RANGE_MPEG)
        src_range = 0;
    else
        src_range = range_of_format(src->format);
    apply_color_ranges(src_range, range_of_format(dst_pix_fmt));

    const int rows = sws_scale(context.get(), src->data, src->linesize, 0, src->height, destination->data,
                               destination->linesize);
    return rows > 0 ? destination.get() : nullptr;
}

void ZRScaler::set_name(const QString& n)
{
    QMutexLocker lock(&mutex);
    name = n;
}

void ZRScaler::set_video_quality(int flags)
{
    if (!alive) {
        write_log("[WARN] ZRScaler :: set video quality called after destructor!");
        return;
    }
    QMutexLocker lock(&mutex);
    video_quality = flags;
}

bool ZRScaler::is_ready() const
{
    return ready.load();
}

int ZRScaler::get_output_width() const
{
    QMutexLocker lock(&mutex);
    return out_width;
}

int ZRScaler::get_output_height() const
{
    QMutexLocker lock(&mutex);
    return out_height;
}

int ZRScaler::get_src_pix_fmt() const
{
    QMutexLocker lock(&mutex);
    return src_pix_fmt;
}

int ZRScaler::get_dst_pix_fmt() const
{
    QMutexLocker lock(&mutex);
    return dst_pix_fmt;
}
