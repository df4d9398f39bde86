#pragma once

#include <QString>
#include <QUrl>
#include <QVersionNumber>
#include <QtGlobal>

// One asset of a release index.
struct ReleaseEntry
{
    QString name;
    QUrl url;
    qint64 size = 0;
    QString arch;
    QString sha256;
    QString id;
    QString idSha256;
    QString versionText;
    QVersionNumber version;
    qint64 buildStamp = -1;
    int lts = -1;
    QString suffix;
    bool devBuild = false;
};

// Release order over (build stamp, version): the version decides, then the stamp
// (-1, no stamp, is older than any real one). Returns -1, 0 or +1.
int compareReleases(qint64 stampA, const QVersionNumber& versionA, qint64 stampB, const QVersionNumber& versionB);
int compareReleases(const ReleaseEntry& a, const ReleaseEntry& b);
