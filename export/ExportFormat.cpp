#include "export/ExportFormat.h"

namespace {

// Built during static initialisation, as the rest of the program expects it to be there
// before anything runs.
const QList<ExportFormat> export_formats = {
    {QStringLiteral("H.264"), QStringLiteral("libx264"), QStringLiteral(".mp4"), QStringLiteral("H264")},
    {QStringLiteral("H.265"), QStringLiteral("hevc"), QStringLiteral(".mp4"), QStringLiteral("H265")},
    {QStringLiteral("MJPEG"), QStringLiteral("mjpeg"), QStringLiteral(".avi"), QStringLiteral("MJPEG")},
    {QStringLiteral("VP9"), QStringLiteral("vp9"), QStringLiteral(".webm"), QStringLiteral("VP9")},
    {QStringLiteral("RAW"), QStringLiteral("raw"), QStringLiteral(".zrnova"), QStringLiteral("RAW")},
};

} // namespace

const QList<ExportFormat>& export_format_table()
{
    return export_formats;
}

ExportFormat find_export_format(const QString& text)
{
    for (const ExportFormat& f : export_formats)
        if (text.indexOf(f.label, 0, Qt::CaseInsensitive) >= 0)
            return f;
    return export_formats.first();
}

const QStringList& known_format_tags()
{
    static const QStringList tags = {QStringLiteral("H264"), QStringLiteral("H265"), QStringLiteral("MJPEG"),
                                     QStringLiteral("VP9"),  QStringLiteral("AV1"),  QStringLiteral("RAW")};
    return tags;
}
