#pragma once

#include "media/FFmpegHolders.h"

#include <cstdint>
#include <memory>
#include <string>

class PictureBuffers;
class ZRScaler;
struct AVDictionary;

// Software decoder of one encoded video frame at a time (H.264, HEVC, MPEG-4, MJPEG), with an
// optional conversion of the picture to BGRA at its own size through its own ZRScaler.
// Used by one thread at a time.
class VideoDecoder
{
public:
    VideoDecoder();
    ~VideoDecoder();

    VideoDecoder(const VideoDecoder&) = delete;
    VideoDecoder& operator=(const VideoDecoder&) = delete;

    // Names: "libx264", "h264", "h.264", "hevc", "h265", "h.265", "mpeg4", "jpeg", "mjpeg"
    // (matched exactly). Releases what an earlier open left.
    bool open_decoder(std::string codec_name);

    // One packet in, at most one picture out. Without scale the picture is in the codec's own
    // format (owned by the decoder), with scale it is BGRA at the same size (owned by the
    // scaler). Valid until the next decode_frame, open_decoder or the destruction; null when no
    // picture came out (held back by the codec, corrupt data, ...).
    AVFrame* decode_frame(uint8_t* data, int size, bool scale);

    // The codec behind one of those names (AV_CODEC_ID_NONE for any other), and the options
    // every decoder of the player is opened with, so that all of them give the same pixels.
    static int codec_id_for(const std::string& codec_name);
    static void set_decoder_options(AVDictionary** options);

    std::string get_codec_name() const;
    int get_width() const;
    int get_height() const;
    int get_pix_fmt() const; // -1 while no codec is open
    bool get_is_keyframe() const;
    void set_video_quality(int flags); // swscale flags for the next scaler set-up; -1 keeps them

    ZRScaler* get_scaler() const { return scaler.get(); }

private:
    void setup_scaler(int width, int height, int src_pix_fmt);
    void release();

    // Never set, on purpose: the scaler's name and the "Could not open" line carry it empty, as the
    // operators' logs always have; the codec is in codec_name.
    std::string name;
    bool closed = false;
    bool key_frame = false;
    int decoded = 0;
    int width = -1;
    int height = -1;
    // Outlives the codec context that asks it for pictures.
    std::unique_ptr<PictureBuffers> buffers;
    ff::CodecContextPtr codec_context;
    ff::FramePtr frame;
    std::unique_ptr<ZRScaler> scaler;
    std::string codec_name;
    int video_quality = 1024; // SWS_SPLINE
};
