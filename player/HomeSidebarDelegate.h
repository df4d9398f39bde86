#pragma once

#include <QIcon>
#include <QString>
#include <QStyledItemDelegate>

// Draws the folder dialog's side bar: the home folder with the home icon, every other
// place without an icon of its own with the folder icon.
class HomeSidebarDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    HomeSidebarDelegate(const QString& homePath, const QIcon& homeIcon, const QIcon& folderIcon,
                        QObject* parent = nullptr);

    // The folder a side-bar row stands for: its URL's local file, else its tool tip.
    static QString rowFolder(const QModelIndex& index);
    // Case-insensitive comparison of clean absolute paths.
    static bool samePath(const QString& a, const QString& b);

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    QString homePath;
    QIcon homeIcon;
    QIcon folderIcon;
};
