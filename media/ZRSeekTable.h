#pragma once

#include "media/ZRFrame.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QTime>

// Seek-table parsing and the time-stamp helpers shared by every reader of recordings.
// Time stamps are wall-clock texts without a time zone: they are parsed by hand into a plain
// count of milliseconds, so a stamp inside a daylight-saving gap is as valid as any other.
class ZRSeekTable
{
public:
    // What the reader's parse of one file found besides its frames.
    struct FileResult
    {
        QList<ZRFrame> frames;  // the frames of the wanted stream (containment filter)
        QStringList streams;    // distinct non-empty stream ids, in order of first appearance
        QString detected_stream; // the first stream id when the wanted one is absent, else empty
    };

    // The reference parse of a whole table's text. kind is "video" or "audio".
    static QList<ZRFrame> parse_text(const QByteArray& text, const QString& kind, const QString& data_file);

    // The reader's parse of one file, named by its seek table or its data file (.zrseek,
    // .zrvideo, .zraudioseek, .zraudio): camera names, stream filter and stream collection.
    static FileResult parse_file(const QString& path, const QString& wanted_stream,
                                 const QHash<int, QString>& camera_names = {});

    // Decoder name for a video codec text: "264" libx264, "MPEG4" mpeg4, "265" hevc, "aac" aac,
    // anything else mjpeg (case-sensitive containment, first rule wins).
    static QString decoder_for_codec_text(QStringView codec_text);

    // "yyyyMMddHHmmsszzz" (exactly 17 digits, a valid calendar date and time of day) into
    // milliseconds since 1970-01-01 00:00 of the same wall clock. False for anything else.
    static bool parse_stamp(QStringView text, qint64* msecs = nullptr);
    static bool parse_stamp(const char* text, qsizetype length, qint64* msecs = nullptr);
    // "yyyyMMddHHmmss" (exactly 14 digits) the same way.
    static bool parse_seconds_stamp(QStringView text, qint64* msecs = nullptr);

    // "yyyyMMddHHmmsszzz" written as "yyyy-MM-dd HH:mm:ss.zzz"; empty when it does not parse.
    static QString display_text(QStringView stamp);
    // Time of day of a "yyyyMMddHHmmsszzz" stamp (milliseconds included); invalid when it does
    // not parse.
    static QTime time_of_day(QStringView stamp);

    // A size field: a decimal integer; anything else, and a negative value, is 0.
    static int parse_size(QStringView field);

private:
    template <typename Ch>
    static int parse_size_chars(const Ch* p, qsizetype n);
    // One pass: records, camera name, stream filter (when filter is set) and streams met.
    static void parse_into(const QByteArray& text, const QString& kind, const QString& data_file,
                           const QString& camera_name, const QString* wanted, QList<ZRFrame>* frames,
                           QStringList* streams);
};
