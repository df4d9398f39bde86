#include "player/ZRFolderDialog.h"

#include "platform/StorageRoots.h"
#include "player/HomeSidebarDelegate.h"
#include "store/StoreLayout.h"

#include <QAbstractItemView>
#include <QAbstractProxyModel>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QListView>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QUrl>
#include <QtDebug>

namespace {

QString last_component(const QString& path)
{
    return QFileInfo(normalizePath(path)).fileName();
}

} // namespace

ZRFolderDialog::ZRFolderDialog(QWidget* parent)
    : QFileDialog(parent, QString(), QString(), QString())
{
    setObjectName(QStringLiteral("ZRFolderDialog"));
    setFileMode(QFileDialog::Directory);
    setOption(QFileDialog::ShowDirsOnly, true);
    setOption(QFileDialog::DontUseNativeDialog, true);
    setWindowTitle(tr("Choisir un dossier"));
    setDirectory(QDir::homePath());
    qInfo() << "[ZRFolderDialog] DontUseNativeDialog=" << testOption(QFileDialog::DontUseNativeDialog);
    qInfo() << "[ZRFolderDialog] sidebar(before)=" << sidebarUrls();

    replaceSidebar();
    qInfo() << "[ZRFolderDialog] sidebar(after) =" << sidebarUrls();

    if (QListView* sidebar = findSidebarView()) {
        sidebar->setIconSize(QSize(18, 18));
        sidebar->setUniformItemSizes(true);
        QStyle* style = QApplication::style();
        sidebar->setItemDelegate(new HomeSidebarDelegate(QDir::home().absolutePath(),
                                                         style->standardIcon(QStyle::SP_DirHomeIcon),
                                                         style->standardIcon(QStyle::SP_DirIcon),
                                                         sidebar));
    } else {
        qWarning() << "[ZRFolderDialog] Sidebar view not found for delegate";
    }

    for (QAbstractItemView* view : findChildren<QAbstractItemView*>()) {
        if (view->viewport())
            view->viewport()->installEventFilter(this);
    }

    if (auto* buttons = findChild<QDialogButtonBox*>()) {
        if (QPushButton* open = buttons->button(QDialogButtonBox::Open)) {
            // Only a folder named like an export may close the dialog.
            open->disconnect();
            connect(open, &QPushButton::clicked, this, &ZRFolderDialog::validateAndAccept);
        }
    }
}

bool ZRFolderDialog::isExportFolderName(const QString& path) const
{
    const QString name = last_component(path);
    return !name.isEmpty() && ::isExportFolderName(name);
}

void ZRFolderDialog::replaceSidebar()
{
    QList<QUrl> urls;
    for (const QString& root : zrplatform::storage_roots()) {
        const QUrl url = QUrl::fromLocalFile(root);
        if (!urls.contains(url))
            urls.append(url);
    }
    const QString home = QDir::homePath();
    if (!home.isEmpty() && QFileInfo::exists(home)) {
        const QUrl url = QUrl::fromLocalFile(QDir::cleanPath(QFileInfo(home).absoluteFilePath()));
        if (!urls.contains(url))
            urls.append(url);
    }
    setSidebarUrls(urls);
}

QListView* ZRFolderDialog::findSidebarView() const
{
    const int placeCount = sidebarUrls().size();
    if (placeCount < 1)
        return nullptr;
    const QString home = QDir::home().absolutePath();
    for (QListView* view : findChildren<QListView*>()) {
        QAbstractItemModel* model = view->model();
        if (!model || view->objectName() == QLatin1String("listView"))
            continue;
        if (model->rowCount() != placeCount)
            continue;
        for (int row = 0; row < model->rowCount(); ++row) {
            if (HomeSidebarDelegate::samePath(HomeSidebarDelegate::rowFolder(model->index(row, 0)), home))
                return view;
        }
    }
    return nullptr;
}

bool ZRFolderDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::MouseButtonDblClick)
        return QFileDialog::eventFilter(watched, event);

    auto* viewport = qobject_cast<QWidget*>(watched);
    auto* view = viewport ? qobject_cast<QAbstractItemView*>(viewport->parentWidget()) : nullptr;
    if (!view || view->viewport() != viewport)
        return false;

    const auto* mouse = static_cast<QMouseEvent*>(event);
    QModelIndex index = view->indexAt(mouse->position().toPoint());
    if (!index.isValid() || index.row() < 0 || index.column() < 0 || !index.model())
        return false;

    if (const auto* proxy = qobject_cast<const QAbstractProxyModel*>(index.model()))
        index = proxy->mapToSource(index);
    const auto* files = qobject_cast<const QFileSystemModel*>(index.model());
    if (!files)
        return false;
    const QString path = files->filePath(index);

    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists() || !info.isDir())
        return false;

    if (isExportFolderName(path)) {
        selectFile(info.absoluteFilePath());
        QTimer::singleShot(0, this, &ZRFolderDialog::validateAndAccept);
        return true;
    }
    // Any other folder is entered as usual.
    return QFileDialog::eventFilter(watched, event);
}

void ZRFolderDialog::validateAndAccept()
{
    const QStringList selected = selectedFiles();
    if (selected.isEmpty() || selected.first().isEmpty())
        return;

    if (isExportFolderName(selected.first())) {
        accept();
        return;
    }

    QMessageBox box(QMessageBox::Warning, tr("Dossier invalide"),
                    tr("Seuls les dossiers d'exportation ZRNova avec un identifiant valide sont acceptés.")
                        + QStringLiteral("\n\n") + tr("Exemple attendu : zrnova_aaaa-bbbb-cccc-dddd"),
                    QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("invalidFolderBox"));
    box.exec();
}

QString ZRFolderDialog::selectFolderFromDialog(QWidget* parent)
{
    // Held by a guard: the dialog may die with its parent while its loop runs.
    QPointer<ZRFolderDialog> dialog = new ZRFolderDialog(parent);
    const int result = dialog->exec();
    QString chosen;
    if (dialog && result == QDialog::Accepted) {
        const QStringList selected = dialog->selectedFiles();
        if (!selected.isEmpty())
            chosen = selected.first();
    }
    delete dialog.data();
    return chosen;
}

QString ZRFolderDialog::selectFolderFromDialog()
{
    return selectFolderFromDialog(nullptr);
}
