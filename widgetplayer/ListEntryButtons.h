#pragma once

#include <QPoint>
#include <QRect>

class QAbstractItemModel;
class QModelIndex;
class QWidget;

// What the alarm and tag delegates share: the 25 x 25 square at the top-right corner of an
// entry, and the push-button editor of a second column.
class ListEntryButtons
{
public:
    static constexpr int kCorner = 25;

    // Strictly inside the corner square of the entry's rectangle.
    static bool in_corner(const QRect& entry, const QPoint& at);

    static QWidget* create_editor(QWidget* parent, const QModelIndex& index);
    static void set_editor_data(QWidget* editor, const QModelIndex& index);
    static void set_model_data(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index);
};
