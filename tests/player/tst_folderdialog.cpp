//! labels: gui
#include "platform/StorageRoots.h"
#include "player/HomeSidebarDelegate.h"
#include "player/ZRFolderDialog.h"
#include "player/ZRFolderDialogController.h"
#include "tests/player/ModalScript.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/TestMain.h"
#include "tests/support/Wait.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kExportName = QStringLiteral("zrnova_0a1b-2c3d-4e5f-6789");

QPushButton* openButton(QWidget* dialog)
{
    auto* box = dialog->findChild<QDialogButtonBox*>();
    return box ? box->button(QDialogButtonBox::Open) : nullptr;
}

// Points the dialog at a folder the way an operator would: enter its parent, type its name.
void choose(QWidget* widget, const QString& path)
{
    auto* dialog = qobject_cast<QFileDialog*>(widget);
    const QFileInfo info(path);
    dialog->setDirectory(info.absolutePath());
    for (QAbstractItemView* view : dialog->findChildren<QAbstractItemView*>()) {
        if (view->selectionModel())
            view->selectionModel()->clearSelection();
    }
    if (auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
        edit->setText(info.fileName());
}

// The dialog's file listing as shown: the list or the detail view, whichever is visible.
QAbstractItemView* fileList(QWidget* dialog)
{
    for (const char* name : {"listView", "treeView"}) {
        auto* view = dialog->findChild<QAbstractItemView*>(QLatin1String(name));
        if (view && view->isVisible())
            return view;
    }
    return nullptr;
}

// Exposes the delegate's option set-up, which the view calls when it paints a row.
class DelegateProbe : public HomeSidebarDelegate
{
public:
    using HomeSidebarDelegate::HomeSidebarDelegate;
    QStyleOptionViewItem optionFor(const QModelIndex& index) const
    {
        QStyleOptionViewItem option;
        initStyleOption(&option, index);
        return option;
    }
};

} // namespace

class TestFolderDialog : public QObject
{
    Q_OBJECT

    QTemporaryDir root;
    QString exportDir;
    QString plainDir;

private slots:
    void initTestCase()
    {
        QVERIFY(root.isValid());
        exportDir = QDir::cleanPath(root.path() + QStringLiteral("/exports/") + kExportName);
        plainDir = QDir::cleanPath(root.path() + QStringLiteral("/exports/plain"));
        QVERIFY(QDir().mkpath(exportDir + QStringLiteral("/2025-06-19")));
        QVERIFY(QDir().mkpath(plainDir));
    }

    void exportFolderNames_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("lower case") << "/d/exports/zrnova_0a1b-2c3d-4e5f-6789" << true;
        QTest::newRow("upper case") << "/d/exports/ZRNOVA_0A1B-2C3D-4E5F-6789" << true;
        QTest::newRow("trailing slash") << "/d/exports/zrnova_0a1b-2c3d-4e5f-6789/" << true;
        QTest::newRow("backslashes") << "D:\\exports\\zrnova_aaaa-bbbb-cccc-dddd" << true;
        QTest::newRow("three groups") << "/d/exports/zrnova_0a1b-2c3d-4e5f" << false;
        QTest::newRow("extra character") << "/d/exports/zrnova_0a1b-2c3d-4e5f-6789x" << false;
        QTest::newRow("not hexadecimal") << "/d/exports/zrnova_0a1b-2c3d-4e5f-678g" << false;
        QTest::newRow("only in a parent") << "/d/zrnova_0a1b-2c3d-4e5f-6789/2025-06-19" << false;
        QTest::newRow("parent folder") << "/d/exports" << false;
        QTest::newRow("empty") << "" << false;
    }

    void exportFolderNames()
    {
        QFETCH(QString, path);
        QFETCH(bool, accepted);
        ZRFolderDialog dialog;
        QCOMPARE(dialog.isExportFolderName(path), accepted);
    }

    void setUpAsSpecified()
    {
        zrtest::LogCatcher log;
        ZRFolderDialog dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Choisir un dossier"));
        QCOMPARE(dialog.fileMode(), QFileDialog::Directory);
        QVERIFY(dialog.testOption(QFileDialog::ShowDirsOnly));
        QVERIFY(dialog.testOption(QFileDialog::DontUseNativeDialog));
        QCOMPARE(QDir::cleanPath(dialog.directory().absolutePath()), QDir::cleanPath(QDir::homePath()));

        // Side bar: the storage roots, home last, and drawn by the home-aware delegate.
        const QList<QUrl> urls = dialog.sidebarUrls();
        QVERIFY(!urls.isEmpty());
        QCOMPARE(urls.last().toLocalFile(), QDir::cleanPath(QDir::homePath()));
        QStringList expected;
        for (const QString& place : zrplatform::storage_roots())
            expected << place;
        QStringList shown;
        for (const QUrl& url : urls)
            shown << url.toLocalFile();
        QCOMPARE(shown, expected);
        QVERIFY2(!log.contains(QStringLiteral("Sidebar view not found")), qPrintable(log.texts().join('\n')));
        QVERIFY(log.contains(QStringLiteral("[ZRFolderDialog] sidebar(after) =")));

        QListView* sidebar = nullptr;
        for (QListView* view : dialog.findChildren<QListView*>()) {
            if (qobject_cast<HomeSidebarDelegate*>(view->itemDelegate()))
                sidebar = view;
        }
        QVERIFY(sidebar);
        QCOMPARE(sidebar->iconSize(), QSize(18, 18));
        QCOMPARE(HomeSidebarDelegate::rowFolder(sidebar->model()->index(urls.size() - 1, 0)),
                 QDir::cleanPath(QDir::homePath()));

        // The home row wears the home icon, whatever letter case its path is given in.
        QPixmap homePixmap(8, 8), folderPixmap(8, 8);
        homePixmap.fill(Qt::red);
        folderPixmap.fill(Qt::blue);
        const QIcon homeIcon(homePixmap), folderIcon(folderPixmap);
        DelegateProbe probe(QDir::homePath().toUpper(), homeIcon, folderIcon);
        const QModelIndex homeRow = sidebar->model()->index(urls.size() - 1, 0);
        QCOMPARE(probe.optionFor(homeRow).icon.cacheKey(), homeIcon.cacheKey());
        if (urls.size() > 1)
            QVERIFY(probe.optionFor(sidebar->model()->index(0, 0)).icon.cacheKey() != homeIcon.cacheKey());
    }

    void storageRootsEndWithHome()
    {
        QStringList roots = zrplatform::storage_roots();
        QVERIFY(!roots.isEmpty());
        QCOMPARE(roots.last(), QDir::cleanPath(QDir::homePath()));
        QCOMPARE(roots.removeDuplicates(), 0);
        for (const QString& place : roots) {
            QVERIFY2(QFileInfo(place).isDir(), qPrintable(place));
            QVERIFY2(!place.startsWith(QStringLiteral("/proc")) && !place.startsWith(QStringLiteral("/sys")),
                     qPrintable(place));
        }
    }

    // The Open button on a wrong folder: the warning box, then the dialog is still there
    // and takes a valid folder afterwards.
    void invalidFolderWarnsAndStaysOpen()
    {
        QString boxTitle;
        QString boxText;
        bool dialogStillOpen = false;
        zrtest::ModalScript script;
        script
            .then([&](QWidget* dialog) {
                choose(dialog, plainDir);
                QTimer::singleShot(0, openButton(dialog), &QPushButton::click);
            })
            .then([&](QWidget* box) {
                auto* message = qobject_cast<QMessageBox*>(box);
                if (message) {
                    boxTitle = message->windowTitle();
                    boxText = message->text();
                    QTimer::singleShot(0, message->button(QMessageBox::Ok), &QAbstractButton::click);
                } else {
                    box->close();
                }
            })
            .then([&](QWidget* dialog) {
                dialogStillOpen = qobject_cast<ZRFolderDialog*>(dialog) && dialog->isVisible();
                choose(dialog, exportDir);
                QTimer::singleShot(0, openButton(dialog), &QPushButton::click);
            });

        const QString chosen = ZRFolderDialog::selectFolderFromDialog();
        QVERIFY(!script.timedOut());
        QCOMPARE(script.pending(), 0);
        QCOMPARE(boxTitle, QStringLiteral("Dossier invalide"));
        QCOMPARE(boxText, QStringLiteral("Seuls les dossiers d'exportation ZRNova avec un identifiant valide "
                                         "sont acceptés.\n\nExemple attendu : zrnova_aaaa-bbbb-cccc-dddd"));
        QVERIFY(dialogStillOpen);
        QCOMPARE(chosen, exportDir);
    }

    void doubleClickAcceptsExportFolder()
    {
        QString enteredAfterPlainClick;
        zrtest::ModalScript script;
        script.then([&](QWidget* widget) {
            auto* dialog = qobject_cast<QFileDialog*>(widget);
            dialog->setDirectory(root.path() + QStringLiteral("/exports"));
            // Let the file-system model list the folder, then double-click the plain folder,
            // which is entered, go back, and double-click the export folder.
            auto clickOn = [dialog](const QString& name) {
                QAbstractItemView* list = fileList(dialog);
                auto* model = list ? qobject_cast<QFileSystemModel*>(list->model()) : nullptr;
                if (!model)
                    return false;
                const QModelIndex index = model->index(QDir(dialog->directory()).filePath(name));
                if (!index.isValid())
                    return false;
                list->scrollTo(index);
                const QPoint at = list->visualRect(index).center();
                // As a real double click arrives: a click, then the second press as a double click.
                QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
                QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
                return true;
            };
            auto step = std::make_shared<std::function<void(int)>>();
            *step = [=, &enteredAfterPlainClick](int attempt) {
                if (attempt > 200) {
                    dialog->reject();
                    return;
                }
                const QString current = QDir::cleanPath(dialog->directory().absolutePath());
                if (enteredAfterPlainClick.isEmpty()) {
                    if (current.endsWith(QStringLiteral("/exports")) && clickOn(QStringLiteral("plain"))) {
                        enteredAfterPlainClick = QDir::cleanPath(dialog->directory().absolutePath());
                        dialog->setDirectory(root.path() + QStringLiteral("/exports"));
                    }
                } else if (current.endsWith(QStringLiteral("/exports")) && clickOn(kExportName)) {
                    return;
                }
                QTimer::singleShot(25, dialog, [step, attempt] { (*step)(attempt + 1); });
            };
            QTimer::singleShot(0, dialog, [step] { (*step)(0); });
        });

        const QString chosen = ZRFolderDialog::selectFolderFromDialog();
        QVERIFY(!script.timedOut());
        QCOMPARE(enteredAfterPlainClick, plainDir);
        QCOMPARE(chosen, exportDir);
    }

    void cancelReturnsEmpty()
    {
        zrtest::ModalScript script;
        script.then([](QWidget* dialog) {
            QTimer::singleShot(0, dialog, [dialog] { qobject_cast<QDialog*>(dialog)->reject(); });
        });
        ZRFolderDialogController controller;
        QCOMPARE(controller.openFolderDialog(), QString());
        QCOMPARE(script.pending(), 0);
    }

    void controllerReturnsChosenFolder()
    {
        zrtest::ModalScript script;
        script.then([&](QWidget* dialog) {
            choose(dialog, exportDir);
            QTimer::singleShot(0, openButton(dialog), &QPushButton::click);
        });
        ZRFolderDialogController controller;
        QCOMPARE(controller.openFolderDialog(), exportDir);
    }
};

ZR_TEST_MAIN_GUI(TestFolderDialog)
#include "tst_folderdialog.moc"
