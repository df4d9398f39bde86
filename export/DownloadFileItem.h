#pragma once

#include <QString>

// One file of a multi-file download. The row reads the size, address and local path and
// fills the digest; the other texts belong to whoever made the list and travel unchanged.
struct DownloadFileItem
{
    DownloadFileItem() = default;
    DownloadFileItem(QString first, QString size, QString url, QString filePath, QString fifth = QString(),
                     QString sha256 = QString(), QString seventh = QString(""), QString eighth = QString(""));

    // Size in KiB; an empty or unreadable text counts as 0.
    qint64 sizeKiB() const;

    QString first;
    QString size;
    QString url;
    QString filePath;
    QString fifth;
    QString sha256;
    QString seventh = QString("");
    QString eighth = QString("");
};
