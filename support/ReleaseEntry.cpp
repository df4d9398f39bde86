#include "support/ReleaseEntry.h"

int compareReleases(qint64 stampA, const QVersionNumber& versionA, qint64 stampB, const QVersionNumber& versionB)
{
    const int byVersion = QVersionNumber::compare(versionA, versionB);
    if (byVersion != 0)
        return byVersion < 0 ? -1 : 1;
    if (stampA < stampB)
        return -1;
    return stampA > stampB ? 1 : 0;
}

int compareReleases(const ReleaseEntry& a, const ReleaseEntry& b)
{
    return compareReleases(a.buildStamp, a.version, b.buildStamp, b.version);
}
