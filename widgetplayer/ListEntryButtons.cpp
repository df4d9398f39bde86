#include "widgetplayer/ListEntryButtons.h"

#include <QAbstractItemModel>
#include <QPushButton>

bool ListEntryButtons::in_corner(const QRect& entry, const QPoint& at)
{
    const int right = entry.x() + entry.width();
    return right - kCorner < at.x() && at.x() < right && entry.y() < at.y() && at.y() < entry.y() + kCorner;
}

QWidget* ListEntryButtons::create_editor(QWidget* parent, const QModelIndex& index)
{
    auto* button = new QPushButton(index.data(Qt::DisplayRole).toString(), parent);
    button->setProperty("data_value", index.data(Qt::DisplayRole));
    return button;
}

void ListEntryButtons::set_editor_data(QWidget* editor, const QModelIndex& index)
{
    if (auto* button = qobject_cast<QPushButton*>(editor)) {
        button->setText(index.data(Qt::DisplayRole).toString());
        button->setProperty("data_value", index.data(Qt::DisplayRole));
    }
}

void ListEntryButtons::set_model_data(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index)
{
    if (auto* button = qobject_cast<QPushButton*>(editor))
        model->setData(index, button->property("data_value"), Qt::EditRole);
}
