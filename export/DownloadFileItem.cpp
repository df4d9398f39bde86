#include "export/DownloadFileItem.h"

DownloadFileItem::DownloadFileItem(QString first, QString size, QString url, QString filePath, QString fifth,
                                   QString sha256, QString seventh, QString eighth)
    : first(std::move(first))
    , size(std::move(size))
    , url(std::move(url))
    , filePath(std::move(filePath))
    , fifth(std::move(fifth))
    , sha256(std::move(sha256))
    , seventh(std::move(seventh))
    , eighth(std::move(eighth))
{
}

qint64 DownloadFileItem::sizeKiB() const
{
    if (size.isEmpty())
        return 0;
    bool ok = false;
    const qulonglong value = size.toULongLong(&ok);
    return ok ? qint64(qMin<qulonglong>(value, qulonglong(1) << 52)) : 0;
}
