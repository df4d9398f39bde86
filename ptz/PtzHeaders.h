#pragma once

#include <QList>
#include <QMetaType>
#include <QPair>
#include <QString>

// Extra request headers of a camera job, as (name, value) pairs in sending order. A
// registered meta-type so that it crosses into the job worker's thread.
using PtzHeaders = QList<QPair<QString, QString>>;

Q_DECLARE_METATYPE(PtzHeaders)
