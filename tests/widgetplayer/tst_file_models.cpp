//! labels: gui
#include "platform/FileSystemRoot.h"
#include "tests/support/ExportGenerator.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/TestMain.h"
#include "tests/support/Wait.h"
#include "widgetplayer/ZRVideoFileSystemModel.h"
#include "widgetplayer/model.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QTemporaryDir>
#include <QtTest>

// The two file models over a generated export and a few hand-named files.
class TestFileModels : public QObject
{
    Q_OBJECT

    zrtest::ExportGenerator gen;
    zrtest::GeneratedExport ex;
    QString dayFolder;
    QString mediaFolder;

    static void writeFile(const QString& path, qint64 size)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(int(size), 'x'));
    }

    // Roots the model at the export's parent and waits until the media folder is listed.
    template <typename Model>
    static QModelIndex open(Model& m, const QString& root, const QString& folder, int rows)
    {
        m.setNameFilters({"*.zrvideo"});
        m.setNameFilterDisables(false);
        QSignalSpy loaded(&m, &QFileSystemModel::directoryLoaded);
        m.setRootPath(root);
        const QModelIndex index = m.index(folder);
        if (m.canFetchMore(index))
            m.fetchMore(index);
        const auto folderLoaded = [&] {
            for (const QList<QVariant>& args : std::as_const(loaded))
                if (QDir(args.at(0).toString()) == QDir(folder))
                    return true;
            return false;
        };
        zrtest::waitUntil([&] { return folderLoaded() && m.rowCount(index) >= rows; }, 20000);
        return index;
    }

    static QStringList column(const QAbstractItemModel& m, const QModelIndex& parent, int role)
    {
        QStringList out;
        for (int r = 0; r < m.rowCount(parent); ++r)
            out << m.index(r, 0, parent).data(role).toString();
        return out;
    }

private slots:
    void initTestCase()
    {
        ex = gen.generate({"--cameras", "1", "--first-camera", "12", "--minutes", "3", "--start", "23:55:00",
                           "--first-day", "2024-01-31", "--placeholder"});
        QVERIFY2(ex.ok, qPrintable(ex.error));
        dayFolder = ex.dayFolders.first();
        mediaFolder = ex.mediaFolder(0, 0);
        // Hand-named neighbours of the recordings.
        writeFile(mediaFolder + "/12_20240131_235959.zrvideo", 10);
        writeFile(mediaFolder + "/12_20241399_120000.zrvideo", 10);
        writeFile(mediaFolder + "/clip.zrvideo", 51200);
        writeFile(mediaFolder + "/a_b.zrvideo", 51201);
        writeFile(mediaFolder + "/notes.txt", 60000);
    }

    void namesByTime_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("full");
        QTest::newRow("last second") << "12_20240131_235959.zrvideo" << "23:59:59" << "2024-01-31 23:59:59";
        QTest::newRow("impossible month") << "12_20241399_120000.zrvideo" << "" << "";
        QTest::newRow("plain name") << "clip.zrvideo" << "clip.zrvideo" << "clip.zrvideo";
        QTest::newRow("two fields") << "a_b.zrvideo" << "a_b.zrvideo" << "a_b.zrvideo";
    }

    void namesByTime()
    {
        QFETCH(QString, name);
        QFETCH(QString, display);
        QFETCH(QString, full);
        ZRVideoFileSystemModel video;
        model twin;
        const QString root = QFileInfo(ex.exportPath).path();
        open(video, root, mediaFolder, 7);
        open(twin, root, mediaFolder, 7);
        for (QFileSystemModel* m : {static_cast<QFileSystemModel*>(&video), static_cast<QFileSystemModel*>(&twin)}) {
            const QModelIndex i = m->index(mediaFolder + "/" + name);
            QVERIFY2(i.isValid(), qPrintable(name));
            QCOMPARE(i.data(Qt::DisplayRole).toString(), display);
            QCOMPARE(i.data(ZRVideoFileSystemModel::DateTimeRole).toString(), full);
        }
        // Files that are not recordings are not listed at all.
        QVERIFY(!video.index(mediaFolder + "/notes.txt").isValid()
                || video.index(mediaFolder + "/notes.txt").data().toString() == "notes.txt");
    }

    void listedSortedByNameAndByTime()
    {
        ZRVideoFileSystemModel video;
        const QModelIndex folder = open(video, QFileInfo(ex.exportPath).path(), mediaFolder, 7);
        video.sort(0, Qt::AscendingOrder);
        QVERIFY(zrtest::waitUntil([&] {
            return column(video, folder, Qt::DisplayRole).size() == 7;
        }));
        QStringList names;
        for (int r = 0; r < video.rowCount(folder); ++r)
            names << QFileInfo(video.filePath(video.index(r, 0, folder))).fileName();
        QStringList sorted = names;
        std::sort(sorted.begin(), sorted.end(), [](const QString& a, const QString& b) {
            return QString::compare(a, b, Qt::CaseInsensitive) < 0;
        });
        QCOMPARE(names, sorted);
        QVERIFY(!names.contains("notes.txt"));

        // Sorted by what the tree shows, the recordings come in time order.
        QSortFilterProxyModel proxy;
        proxy.setSourceModel(&video);
        proxy.sort(0, Qt::AscendingOrder);
        const QStringList shown = column(proxy, proxy.mapFromSource(folder), Qt::DisplayRole);
        QCOMPARE(shown, QStringList({"", "23:55:00", "23:56:00", "23:57:00", "23:59:59", "a_b.zrvideo", "clip.zrvideo"}));
    }

    void dayFoldersColoured()
    {
        ZRVideoFileSystemModel video;
        model twin;
        const QString root = QFileInfo(ex.exportPath).path();
        open(video, root, dayFolder, 1);
        open(twin, root, dayFolder, 1);
        for (int role : {int(Qt::BackgroundRole), int(Qt::ForegroundRole)}) {
            QCOMPARE(video.index(dayFolder).data(role).value<QColor>(), QColor(Qt::magenta));
            QVERIFY(video.index(mediaFolder).data(role).value<QColor>() != QColor(Qt::magenta));
            QVERIFY(twin.index(dayFolder).data(role).value<QColor>() != QColor(Qt::magenta));
        }
        // A recording's shown name is a time, and times are coloured alike.
        open(video, root, mediaFolder, 7);
        QCOMPARE(video.index(mediaFolder + "/12_20240131_235959.zrvideo").data(Qt::ForegroundRole).value<QColor>(),
                 QColor(Qt::magenta));
        QVERIFY(video.index(mediaFolder + "/clip.zrvideo").data(Qt::ForegroundRole).value<QColor>() != QColor(Qt::magenta));
    }

    void checkStateIsNotStored()
    {
        ZRVideoFileSystemModel video;
        open(video, QFileInfo(ex.exportPath).path(), mediaFolder, 7);
        const QModelIndex i = video.index(mediaFolder + "/clip.zrvideo");
        const QVariant before = i.data(Qt::CheckStateRole);
        QSignalSpy changed(&video, &QAbstractItemModel::dataChanged);
        zrtest::LogCatcher log;
        QVERIFY(video.setData(i, Qt::Checked, Qt::CheckStateRole));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).value<QModelIndex>(), QPersistentModelIndex(i));
        QCOMPARE(i.data(Qt::CheckStateRole), before);
        QCOMPARE(log.count("ZRVideoFileSystemModel:: Set data 2"), 2);
    }

    void largerFilesMarkedWithTheirFolders()
    {
        QTemporaryDir dir;
        QDir().mkpath(dir.filePath("a/b"));
        QDir().mkpath(dir.filePath("c"));
        writeFile(dir.filePath("a/b/big.zrvideo"), 51201);
        writeFile(dir.filePath("a/b/exact.zrvideo"), 51200);
        writeFile(dir.filePath("c/small.zrvideo"), 10);
        writeFile(dir.filePath("top.bin"), 70000);
        ZRVideoFileSystemModel video;
        video.setRootPath(dir.path());
        QSignalSpy changed(&video, &QAbstractItemModel::dataChanged);
        video.identifyPathsOfSize(0);
        const QSet<QString> first = video.get_marked_paths();
        const QString root = video.rootPath();
        QCOMPARE(first, QSet<QString>({root + "/a/b/big.zrvideo", root + "/a/b", root + "/a", root + "/top.bin"}));
        QCOMPARE(changed.count(), 1);
        // New files are not seen: the sizes are taken once.
        writeFile(dir.filePath("c/late.zrvideo"), 90000);
        video.identifyPathsOfSize(1000000);
        QCOMPARE(video.get_marked_paths(), first);
    }

    void treeRootsAtTheFileSystemRoot()
    {
        ZRVideoFileSystemModel video;
        const QModelIndex root = video.setRootPath(zrplatform::file_system_root());
        QVERIFY(root.isValid());
        QCOMPARE(QDir(video.rootPath()), QDir(zrplatform::file_system_root()));
        QVERIFY(video.index(QDir::homePath()).isValid());
        QVERIFY(QDir(zrplatform::file_system_root()).isRoot());
    }
};

ZR_TEST_MAIN_GUI(TestFileModels)
#include "tst_file_models.moc"
