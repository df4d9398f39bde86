#pragma once

#include "display/DewarpGeometry.h"
#include "media/FFmpegHolders.h"

#include <QImage>
#include <QPoint>
#include <QPointF>
#include <QSize>
#include <QSizeF>
#include <QString>

#include <cstdint>

// The display's fisheye dewarp: the output picture, the view's pan, zoom and field of view,
// and the mouse and wheel gestures that steer them. A plain class: the widget hands it frames
// and pointer input and paints its output.
class FisheyeDewarp
{
public:
    // What a left or right release did.
    enum class Release
    {
        Ignored,
        SwitchedOff, // right release: the dewarp is off
        Activated,   // a click switched it on at the clicked direction
        Recentred,   // a click moved the view toward the clicked point
        DragEnded,
    };

    FisheyeDewarp();

    // Makes a black output for w x h sources; false, with no output, for a size that cannot be
    // held.
    bool setup(int w, int h);
    QSize source_size() const { return QSize(state_.width, state_.height); }
    bool has_output() const { return output_ != nullptr && buffer_ != nullptr; }
    // Dewarps one BGRA frame with the current pan, zoom and field of view, recomputing the
    // geometry when one of them changed. A frame that does not fit the output is skipped:
    // false, with the reason in *why.
    bool dewarp(const uint8_t* src, int linesize, int w, int h, QString* why);
    // Fills the output from a source of the output's size whose rows are linesize bytes apart.
    void dewarp_frame(const DewarpGeometry& g, const uint8_t* src, int linesize);
    // The output as an RGB32 picture sharing the buffer (null without output): valid until the
    // next setup, read while the frames' writer is kept out.
    QImage output_image() const;

    const DewarpGeometry& geometry() const { return geometry_; }
    const DewarpState& state() const { return state_; }

    float dewarp_pan() const { return pan_; }
    float dewarp_zoom() const { return zoom_; }
    float dewarp_fov() const { return fov_; }
    void set_dewarp_pan(float a) { pan_ = wrap_dewarp_pan(a); }
    void set_dewarp_zoom(float z) { zoom_ = clamp_dewarp_zoom(z); }
    bool is_dragged() const { return dragged_; }
    void set_dragged(bool d) { dragged_ = d; }
    bool is_pan_active() const { return pan_active_; }

    // Gestures while the dewarp view is shown. Positions are widget positions; `origin` and
    // `picture` are the top-left corner and size of the shown picture.
    // Left press while the dewarp is on: a drag or a re-centring click may follow.
    void press(QPointF pos);
    // A move with the left button while the dewarp is on: true when it turned or zoomed the view.
    bool drag(QPointF pos);
    // `enabled` is the display's switch of the dewarp; a release may turn it on or off.
    Release release(QPointF pos, bool left, bool right, bool& enabled, QPointF origin, QSizeF picture);
    void wheel(int angle_y, bool enabled, bool paused);

    static constexpr float kMinFov = 15.0f;
    static constexpr float kMaxFov = 90.0f;

private:
    void recentre(QPointF pos, QPointF origin, QSizeF picture);

    DewarpState state_;
    ff::FramePtr output_;
    struct BufferFree
    {
        void operator()(uint8_t* p) const { av_free(p); }
    };
    std::unique_ptr<uint8_t, BufferFree> buffer_;
    DewarpGeometry geometry_;
    float last_pan_ = -1;
    float last_fov_ = -1;
    float last_zoom_ = -1;
    float pan_ = 0;
    float fov_ = 45;
    float zoom_ = 0;
    bool pan_active_ = false;
    bool dragged_ = false;
    QPoint last_pos_;
};
