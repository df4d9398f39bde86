#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// One row of the export-format table: the text matched against the format choice, the
// encoder name handed to the export thread, the file extension (with its dot) and the short
// name written into file names.
struct ExportFormat
{
    QString label;
    QString codec;
    QString extension;
    QString tag;
};

// The five formats offered, in order: H.264, H.265, MJPEG, VP9, RAW.
const QList<ExportFormat>& export_format_table();

// The first row whose label occurs in text (case-insensitive); the H.264 row when none does.
ExportFormat find_export_format(const QString& text);

// Every tag a file name may end in ("_" + tag), the formats offered and "AV1".
const QStringList& known_format_tags();
