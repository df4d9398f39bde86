#pragma once

#include <QList>
#include <QString>

// One line of a seek table: a frame (or audio packet) with where its bytes lie in the data file.
class ZRFrame
{
public:
    ZRFrame() = default;
    ZRFrame(const ZRFrame&) = default;
    ZRFrame(ZRFrame&&) = default;
    ZRFrame& operator=(const ZRFrame&) = default;
    ZRFrame& operator=(ZRFrame&&) = default;
    ~ZRFrame() = default;

    QString get_timestamp() const { return timestamp; }
    QString get_stream_id() const { return stream_id; }
    QString get_codec() const { return codec; }
    QString get_resolution() const { return resolution; }
    QString get_keyframe_text() const { return keyframe_text; }
    QString get_data_file() const { return data_file; }
    QString get_camera_name() const { return camera_name; }
    QString get_kind() const { return kind; }
    int get_in_range() const { return in_range; }
    int get_size() const { return size; }
    qint64 get_offset() const { return offset; }

    void set_timestamp(const QString& v) { timestamp = v; }
    void set_stream_id(const QString& v) { stream_id = v; }
    void set_codec(const QString& v) { codec = v; }
    void set_resolution(const QString& v) { resolution = v; }
    void set_keyframe_text(const QString& v) { keyframe_text = v; }
    void set_data_file(const QString& v) { data_file = v; }
    void set_camera_name(const QString& v) { camera_name = v; }
    void set_kind(const QString& v) { kind = v; }
    void set_in_range(int v) { in_range = v; }
    void set_size(int v) { size = v; }
    void set_offset(qint64 v) { offset = v; }

    // Key frame: the key-frame text contains "1".
    bool is_keyframe() const { return keyframe_text.contains(QLatin1Char('1')); }
    // Starts a key frame: the key-frame text begins with "1".
    bool starts_keyframe() const { return keyframe_text.startsWith(QLatin1Char('1')); }

private:
    friend class ZRSeekTable; // fills records in place while parsing

    QString timestamp;
    QString stream_id;
    QString codec;
    QString resolution;
    QString keyframe_text;
    QString data_file;
    QString camera_name;
    QString kind;
    int in_range = 0;
    int size = 0;
    // 64 bits: the sizes of a long table add up past 2^31 before any check can refuse them.
    qint64 offset = 0;
};

// The same picture of the same recording: data file and offset, whichever frame list holds it.
inline bool same_frame(const ZRFrame& a, const ZRFrame& b)
{
    return a.get_offset() == b.get_offset() && a.get_data_file() == b.get_data_file();
}

// Where f lies in list (guess tried first); -1 when not in it.
inline int position_in(const QList<ZRFrame>& list, const ZRFrame& f, int guess)
{
    if (guess >= 0 && guess < list.size() && same_frame(list[guess], f))
        return guess;
    for (int i = 0; i < list.size(); ++i)
        if (same_frame(list[i], f))
            return i;
    return -1;
}
