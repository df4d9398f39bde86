#include "player/HomeSidebarDelegate.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace {

// The side bar's model keeps each place's URL in this role.
constexpr int kUrlRole = Qt::UserRole + 1;

QString clean_absolute(const QString& path)
{
    QString p = path;
    p.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return QDir::cleanPath(QFileInfo(p).absoluteFilePath());
}

} // namespace

HomeSidebarDelegate::HomeSidebarDelegate(const QString& homePath, const QIcon& homeIcon,
                                         const QIcon& folderIcon, QObject* parent)
    : QStyledItemDelegate(parent), homePath(homePath), homeIcon(homeIcon), folderIcon(folderIcon)
{
}

QString HomeSidebarDelegate::rowFolder(const QModelIndex& index)
{
    if (!index.isValid())
        return QString();
    const QVariant urlData = index.data(kUrlRole);
    if (urlData.metaType() == QMetaType::fromType<QUrl>()) {
        const QUrl url = urlData.toUrl();
        if (url.isLocalFile())
            return url.toLocalFile();
    }
    return index.data(Qt::ToolTipRole).toString();
}

bool HomeSidebarDelegate::samePath(const QString& a, const QString& b)
{
    if (a.isEmpty() || b.isEmpty())
        return false;
    return clean_absolute(a).compare(clean_absolute(b), Qt::CaseInsensitive) == 0;
}

void HomeSidebarDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    if (samePath(rowFolder(index), homePath)) {
        option->icon = homeIcon;
        option->features |= QStyleOptionViewItem::HasDecoration;
    } else if (option->icon.isNull()) {
        option->icon = folderIcon;
        option->features |= QStyleOptionViewItem::HasDecoration;
    }
}
