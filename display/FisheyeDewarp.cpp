#include "display/FisheyeDewarp.h"

#include "app/Log.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/mem.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
constexpr uint32_t kOpaqueBlack = 0xff000000u; // BGRA bytes 00 00 00 ff

QString size_text(int w, int h)
{
    return QString::number(w) + QLatin1Char('x') + QString::number(h);
}

void log_release_value(const char* name, double value)
{
    write_log(QStringLiteral("[INFO] Plugin::mouseReleaseEvent ") + QLatin1String(name) + QLatin1Char(' ')
              + QString::number(value, 'g', 6));
}
} // namespace

FisheyeDewarp::FisheyeDewarp() = default;

bool FisheyeDewarp::setup(int w, int h)
{
    output_.reset();
    buffer_.reset();
    state_.width = w;
    state_.height = h;
    state_.out_width = w;
    state_.out_height = h;
    state_.centre_x = static_cast<int>(w * 0.5);
    state_.centre_y = static_cast<int>(h * 0.5);
    // The geometry belongs to the previous size: the next frame computes it anew.
    last_pan_ = last_fov_ = last_zoom_ = -1;
    if (w < 1 || h < 1)
        return false;
    const int bytes = av_image_get_buffer_size(AV_PIX_FMT_BGRA, w, h, 1);
    if (bytes <= 0)
        return false;
    ff::FramePtr frame = ff::make_frame();
    std::unique_ptr<uint8_t, BufferFree> buffer(static_cast<uint8_t*>(av_malloc(static_cast<size_t>(bytes))));
    if (!frame || !buffer)
        return false;
    if (av_image_fill_arrays(frame->data, frame->linesize, buffer.get(), AV_PIX_FMT_BGRA, w, h, 1) < 0)
        return false;
    frame->width = w;
    frame->height = h;
    frame->format = AV_PIX_FMT_BGRA;
    // Black until the first frame is dewarped; pixels no source point reaches stay black.
    auto* px = reinterpret_cast<uint32_t*>(buffer.get());
    std::fill(px, px + static_cast<size_t>(bytes) / 4, kOpaqueBlack);
    output_ = std::move(frame);
    buffer_ = std::move(buffer);
    return true;
}

bool FisheyeDewarp::dewarp(const uint8_t* src, int linesize, int w, int h, QString* why)
{
    QString reason;
    if (!src)
        reason = QStringLiteral("no frame data");
    else if (w < 1 || h < 1)
        reason = QStringLiteral("empty frame size ") + size_text(w, h);
    else if (!has_output())
        reason = QStringLiteral("no output for ") + size_text(state_.width, state_.height);
    else if (w != state_.width || h != state_.height)
        reason = QStringLiteral("frame size ") + size_text(w, h) + QStringLiteral(" differs from the output's ")
                 + size_text(state_.width, state_.height);
    else if (static_cast<qint64>(linesize) < 4 * static_cast<qint64>(w))
        reason = QStringLiteral("line size ") + QString::number(linesize) + QStringLiteral(" too short for width ")
                 + QString::number(w);
    if (!reason.isEmpty()) {
        if (why)
            *why = reason;
        return false;
    }
    if (pan_ != last_pan_ || zoom_ != last_zoom_ || fov_ != last_fov_) {
        geometry_ = compute_dewarp_geometry(pan_, zoom_, fov_, state_);
        last_pan_ = pan_;
        last_zoom_ = zoom_;
        last_fov_ = fov_;
    }
    dewarp_frame(geometry_, src, linesize);
    return true;
}

void FisheyeDewarp::dewarp_frame(const DewarpGeometry& g, const uint8_t* src, int linesize)
{
    if (!has_output() || !src || static_cast<qint64>(linesize) < 4 * static_cast<qint64>(state_.width))
        return;
    const int W = state_.width;
    const int H = state_.height;
    const int Wo = state_.out_width;
    const int Ho = state_.out_height;
    uint8_t* out = output_->data[0];
    const qsizetype out_line = output_->linesize[0];
    float a = g.start_angle;
    for (int c = 0; c < Wo; ++c) {
        const DewarpColumn col = dewarp_column(g, state_, a, c);
        for (int r = 0; r < Ho; ++r) {
            const QPoint s = dewarp_source_point(g, state_, col, r);
            if (s.y() >= 0 && s.y() < H && s.x() >= 0 && s.x() < W)
                std::memcpy(out + r * out_line + qsizetype(c) * 4, src + qsizetype(s.y()) * linesize + qsizetype(s.x()) * 4,
                            4);
        }
        a = next_dewarp_angle(a, state_);
    }
}

QImage FisheyeDewarp::output_image() const
{
    if (!has_output())
        return QImage();
    return QImage(output_->data[0], state_.out_width, state_.out_height, output_->linesize[0], QImage::Format_RGB32);
}

// ---- gestures ----

void FisheyeDewarp::press(QPointF pos)
{
    last_pos_ = QPoint(int(std::lround(pos.x())), int(std::lround(pos.y())));
    pan_active_ = true;
    write_log(QStringLiteral("[INFO] Plugin:: DEWARP mousePressEvent :: ") + QString::number(last_pos_.x())
              + QLatin1Char('x') + QString::number(last_pos_.y()));
}

bool FisheyeDewarp::drag(QPointF pos)
{
    if (!pan_active_)
        return false;
    dragged_ = true;
    const int x = int(std::lround(pos.x()));
    const int y = int(std::lround(pos.y()));
    float dp = -static_cast<float>(x - last_pos_.x()) * 0.5f;
    float dz = -static_cast<float>(y - last_pos_.y()) * 0.5f;
    // A narrow view turns more slowly under the same pointer travel.
    for (float limit : {50.0f, 30.0f, 15.0f}) {
        if (fov_ < limit) {
            dp *= 0.5f;
            dz *= 0.5f;
        }
    }
    set_dewarp_pan(pan_ + dp);
    set_dewarp_zoom(zoom_ + dz);
    last_pos_ = QPoint(x, y);
    return true;
}

FisheyeDewarp::Release FisheyeDewarp::release(QPointF pos, bool left, bool right, bool& enabled, QPointF origin,
                                              QSizeF picture)
{
    if (right && enabled) {
        write_log("[INFO] Plugin::mouseReleaseEvent Unwrapp false");
        enabled = false;
        return Release::SwitchedOff;
    }
    if (!left)
        return Release::Ignored;
    if (!enabled) {
        // Activation: the view turns toward the clicked direction, nearer the edge for a click
        // nearer the centre.
        const float hw = static_cast<float>(picture.width() * 0.5);
        const float hh = static_cast<float>(picture.height() * 0.5);
        const float dx = static_cast<float>(pos.x() - origin.x()) - hw;
        const float dy = static_cast<float>(pos.y() - origin.y()) - hh;
        const float d = std::hypot(dx, dy);
        const float R = std::hypot(hw, hh);
        if (d <= 0.000001f || R <= 0.000001f)
            return Release::Ignored;
        const float angle = std::acos(std::clamp(dy / d, -1.0f, 1.0f)) * 57.3f;
        set_dewarp_pan(dx <= 0 ? angle + 90.0f : 90.0f - angle);
        set_dewarp_zoom(100.0f - d * 100.0f / (R * 0.5f));
        fov_ = 70.0f;
        enabled = true;
        return Release::Activated;
    }
    if (!pan_active_)
        return Release::Ignored;
    if (dragged_) {
        dragged_ = false;
        pan_active_ = false;
        return Release::DragEnded;
    }
    recentre(pos, origin, picture);
    pan_active_ = false;
    return Release::Recentred;
}

void FisheyeDewarp::recentre(QPointF pos, QPointF origin, QSizeF picture)
{
    const float cx = static_cast<float>(picture.width() * 0.5);
    const float cy = static_cast<float>(picture.height() * 0.5);
    const float X = static_cast<float>(pos.x() - origin.x()) - cx;
    const float Y = static_cast<float>(pos.y() - origin.y()) - cy;
    const float perc_X = cx != 0 ? X * 100.0f / cx : 0.0f;
    const float perc_Y = cy != 0 ? Y * 100.0f / cy : 0.0f;
    const float start_change = perc_X / 100.0f * 45.0f;
    const float translate_change = perc_Y / 100.0f * 50.0f;
    float pan_change = start_change;
    float zoom_change = translate_change;
    for (float limit : {50.0f, 30.0f}) {
        if (fov_ < limit) {
            pan_change *= 0.5f;
            zoom_change *= 0.5f;
        }
    }
    const float start = pan_;
    const float fov = fov_;
    const float translate = zoom_;
    set_dewarp_pan(pan_ + pan_change);
    set_dewarp_zoom(zoom_ + zoom_change);
    log_release_value("center_x", cx);
    log_release_value("center_y", cy);
    log_release_value("event_position.x()", pos.x());
    log_release_value("event_position.y()", pos.y());
    log_release_value("X", X);
    log_release_value("Y", Y);
    log_release_value("perc_X", perc_X);
    log_release_value("perc_Y", perc_Y);
    log_release_value("start_change", start_change);
    log_release_value("translate_change", translate_change);
    log_release_value("translate_change prorata", zoom_change);
    log_release_value("start", start);
    log_release_value("zoom", fov);
    log_release_value("translate", translate);
    log_release_value("after start", pan_);
    log_release_value("after translate", zoom_);
}

void FisheyeDewarp::wheel(int angle_y, bool enabled, bool paused)
{
    if (enabled && angle_y > 0 && !paused)
        fov_ -= 5.0f;
    else
        fov_ += 5.0f;
    if (fov_ >= kMaxFov)
        fov_ = kMaxFov;
    else if (fov_ <= kMinFov)
        fov_ = kMinFov;
}
