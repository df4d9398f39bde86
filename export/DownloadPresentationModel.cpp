#include "export/DownloadPresentationModel.h"

#include "app/Log.h"
#include "export/Download_presentation.h"
#include "export/Presentation_Interface.h"
#include "export/SqueezeLabel.h"

#include <QPushButton>

DownloadPresentationModel::DownloadPresentationModel(Download_presentation* w, QString kind, QObject* parent)
    : QAbstractListModel(parent)
    , window(w)
    , m_kind(std::move(kind))
{
}

QList<Presentation_Interface*>* DownloadPresentationModel::list() const
{
    return window ? window->list_of(m_kind) : nullptr;
}

int DownloadPresentationModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    const QList<Presentation_Interface*>* l = list();
    return l ? int(l->size()) : -1;
}

QVariant DownloadPresentationModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || role != Qt::ToolTipRole)
        return QVariant();
    write_log(QStringLiteral("[INFO] DownloadPresentationModel::Data -- ToolTipRole"));
    Presentation_Interface* row = list()->at(index.row());
    if (row->downloadedSuccessfully())
        return QVariant();
    return row->downloadInfoLabel->text();
}

bool DownloadPresentationModel::removeRows(int row, int count, const QModelIndex& parent)
{
    if (parent.isValid())
        return false;
    QList<Presentation_Interface*>* l = list();
    if (!l)
        return true;
    for (int k = row + count - 1; k >= row; --k) {
        if (m_kind == QLatin1String("download"))
            write_log(QStringLiteral("[INFO] DownloadPresentationModel::removeRows -- download + ")
                      + QString::number(l->size()));
        else if (m_kind == QLatin1String("success"))
            write_log(QStringLiteral("[INFO] DownloadPresentationModel::removeRows -- success"));
        if (k < 0 || k >= l->size())
            continue;
        Presentation_Interface* item = l->at(k);
        if (!item->downloadedSuccessfully() && !item->tryAgainButton->isEnabled())
            continue;
        beginRemoveRows(parent, k, k);
        l->removeAt(k);
        item->deleteLater();
        endRemoveRows();
    }
    return true;
}

void DownloadPresentationModel::append_row(Presentation_Interface* row)
{
    QList<Presentation_Interface*>* l = list();
    if (!l)
        return;
    const int n = int(l->size());
    beginInsertRows(QModelIndex(), n, n);
    l->append(row);
    endInsertRows();
}

bool DownloadPresentationModel::take_row(Presentation_Interface* row)
{
    QList<Presentation_Interface*>* l = list();
    const int k = l ? int(l->indexOf(row)) : -1;
    if (k < 0)
        return false;
    beginRemoveRows(QModelIndex(), k, k);
    l->removeAt(k);
    // The view also lets go of the widget it showed there; releasing it twice is harmless.
    disconnect(row, nullptr, window, nullptr);
    row->deleteLater();
    endRemoveRows();
    return true;
}
