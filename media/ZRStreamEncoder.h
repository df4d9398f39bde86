#pragma once

#include "media/FFmpegHolders.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <cstdio>
#include <unordered_map>

// Encodes decoded pictures of one camera into a video file: codec chosen by name, container by
// the output file's extension, an optional band with the camera name and the frame's date and
// time burnt into the top of every picture. Used by one thread.
class ZRStreamEncoder : public QObject
{
    Q_OBJECT

public:
    ZRStreamEncoder();
    // Frees everything; does not finish the file (the owner calls end_encoding first).
    ~ZRStreamEncoder() override;

    // rate is kept and not used. Emits error(-6), error(-8) or error(-9) on some failures.
    bool init_encoder(QString output_path, QString codec, int rate, int fps, int width, int height, bool overlay,
                      QString overlay_size, int src_pix_fmt);
    // One picture; pictures of another size or format than the encoder's are converted to it.
    // data_file, seek_file and time are given together in raw mode only: the packets then go to
    // a data file and a seek table in the recording format. pts is not used for timing: the
    // output counts one frame per picture from the first one.
    bool encode_frame(AVFrame* frame, int width, int height, QString timestamp, QString overlay_text, int pts,
                      FILE* data_file = nullptr, FILE* seek_file = nullptr, QDateTime* time = nullptr);
    // Drains the encoder, writes the trailer, closes the file. False when a write failed.
    bool end_encoding();

    // A header, packet or trailer write failed: the file is not complete.
    bool has_write_error() const { return write_error; }
    int get_font_size() const { return font_size; }

signals:
    void error(int code);

private:
    using ConverterCache = std::unordered_map<quint64, ff::SwsContextPtr>;

    bool setup_frames(int src_pix_fmt);
    SwsContext* converter_for(ConverterCache& cache, int w, int h, int fmt, int dst_fmt);
    // A context for a strip of `rows` rows at the encoder's width (cached per format pair).
    SwsContext* strip_converter(ConverterCache& cache, int rows, int fmt, int dst_fmt);
    int band_height();
    void draw_overlay(const QString& timestamp, const QString& overlay_text);
    bool drain(FILE* data_file, FILE* seek_file, QDateTime* time);
    bool write_packet(AVPacket* packet);
    void write_raw_packet(AVPacket* packet, FILE* data_file, FILE* seek_file, QDateTime* time);
    void close_output();
    QString raw_codec_text() const;

    const AVCodec* encoder = nullptr;
    ff::CodecContextPtr codec_context;
    ff::OutputFormatPtr format_context;
    AVStream* stream = nullptr; // owned by format_context
    QDateTime running_time;
    // Per source size and format: a camera may change resolution between two files.
    ConverterCache converters;       // source -> encoder format
    ConverterCache to_bgra;          // source -> BGRA
    ff::SwsContextPtr from_bgra;     // BGRA -> encoder format
    ConverterCache strip_converters; // the band's rows: source -> BGRA, BGRA -> encoder
    int band_rows = -1;              // trunc(1.5 x the font's line height)
    ff::FramePtr encoder_frame;
    ff::FramePtr bgra_frame;
    QString codec_name;
    QByteArray output_path;
    bool overlay = true;
    int font_size = -1;
    int width = -1;
    int height = -1;
    int fps = -1;
    double previous_packet_time = 0.0;
    bool first_raw_packet = true;
    FILE* raw_data_file = nullptr;  // raw mode's targets, drained into by end_encoding
    FILE* raw_seek_file = nullptr;
    QDateTime* raw_time = nullptr;
    QString current_stamp; // time stamp of the picture being encoded (raw mode's first time)
    long long next_pts = 0;
    bool output_open = false;
    bool header_written = false;
    bool write_error = false;
    bool ended = false;
};
