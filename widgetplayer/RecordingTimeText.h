#pragma once

#include <QVariant>

class QFileSystemModel;
class QModelIndex;

// What both file models show for roles 0 and 15: a recording file's time (role 0) or date
// and time (role 15) read from its name, or the base model's display text for anything else.
class RecordingTimeText
{
public:
    static QVariant answer(const QFileSystemModel* model, const QModelIndex& index, int role);
};
