#pragma once

#include <QMetaType>
#include <QString>
#include <QStringList>

// What a background snapshot run would report; nothing in the player fills it yet.
struct SnapshotResult
{
    QString root;
    QString hash;
    QStringList changed;
    qint64 elapsedMs = 0;
    bool cancelled = false;
    bool fromCache = false;
    QString error;
};

Q_DECLARE_METATYPE(SnapshotResult)
