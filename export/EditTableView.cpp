#include "export/EditTableView.h"

#include <QItemSelectionModel>
#include <QKeyEvent>

EditTableView::EditTableView(QWidget* parent)
    : QTableView(parent)
{
}

void EditTableView::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete) && model()) {
        removeOne();
        return;
    }
    QTableView::keyPressEvent(event);
}

void EditTableView::removeOne()
{
    if (!model() || !selectionModel())
        return;
    const int r = currentIndex().row();
    model()->removeRow(r, rootIndex());
    QModelIndex next = model()->index(r, 0, rootIndex());
    if (!next.isValid())
        next = model()->index(r - 1, 0, rootIndex());
    selectionModel()->select(next, QItemSelectionModel::SelectCurrent | QItemSelectionModel::Rows);
    selectionModel()->setCurrentIndex(next, QItemSelectionModel::NoUpdate);
}

void EditTableView::removeAll()
{
    if (model())
        model()->removeRows(0, model()->rowCount(rootIndex()), rootIndex());
}
