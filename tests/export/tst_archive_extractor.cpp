//! labels: unit
#include "export/ArchiveExtractor.h"
#include "tests/support/TestHome.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <archive.h>
#include <archive_entry.h>

#include <cstdio>
#include <unistd.h>

namespace {

struct Entry
{
    enum Kind { File, Dir, Symlink, Hardlink };
    QString name;
    QByteArray data;
    Kind kind = File;
    QString link;

    Entry(QString n, QByteArray d = {}, Kind k = File, QString l = {})
        : name(std::move(n)), data(std::move(d)), kind(k), link(std::move(l))
    {
    }
};

// Writes an archive with libarchive's writer: "zip", "tar.gz" or "tar.xz".
bool makeArchive(const QString& path, const QString& format, const QList<Entry>& entries)
{
    struct archive* a = archive_write_new();
    if (format == QLatin1String("zip")) {
        archive_write_set_format_zip(a);
    } else {
        archive_write_set_format_pax_restricted(a);
        if (format.endsWith(QLatin1String(".gz")))
            archive_write_add_filter_gzip(a);
        else
            archive_write_add_filter_xz(a);
    }
    if (archive_write_open_filename(a, QFile::encodeName(path).constData()) != ARCHIVE_OK) {
        archive_write_free(a);
        return false;
    }
    bool ok = true;
    for (const Entry& e : entries) {
        struct archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, e.name.toUtf8().constData());
        switch (e.kind) {
        case Entry::File:
            archive_entry_set_filetype(entry, AE_IFREG);
            archive_entry_set_perm(entry, 0644);
            archive_entry_set_size(entry, e.data.size());
            break;
        case Entry::Dir:
            archive_entry_set_filetype(entry, AE_IFDIR);
            archive_entry_set_perm(entry, 0755);
            break;
        case Entry::Symlink:
            archive_entry_set_filetype(entry, AE_IFLNK);
            archive_entry_set_perm(entry, 0777);
            archive_entry_set_symlink(entry, e.link.toUtf8().constData());
            break;
        case Entry::Hardlink:
            archive_entry_set_filetype(entry, AE_IFREG);
            archive_entry_set_perm(entry, 0644);
            archive_entry_set_hardlink(entry, e.link.toUtf8().constData());
            archive_entry_set_size(entry, 0);
            break;
        }
        ok = ok && archive_write_header(a, entry) == ARCHIVE_OK;
        if (e.kind == Entry::File && !e.data.isEmpty())
            ok = ok && archive_write_data(a, e.data.constData(), size_t(e.data.size())) == e.data.size();
        archive_entry_free(entry);
    }
    ok = archive_write_close(a) == ARCHIVE_OK && ok;
    archive_write_free(a);
    return ok;
}

QByteArray noise(int size, quint32 seed)
{
    QByteArray b(size, '\0');
    for (int i = 0; i < size; ++i) {
        seed = seed * 1664525u + 1013904223u;
        b[i] = char(seed >> 24);
    }
    return b;
}

QString sha(const QByteArray& data)
{
    return QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex());
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct Outcome
{
    bool finished = false;
    bool success = false;
    int finishCount = 0;
    QMap<QString, QString> hashes;
};

Outcome run(ArchiveExtractor& extractor)
{
    Outcome o;
    QObject::connect(&extractor, &ArchiveExtractor::fileHashed, [&](const QString& p, const QString& h) { o.hashes.insert(p, h); });
    QObject::connect(&extractor, &ArchiveExtractor::extractionFinished, [&](bool ok) {
        o.finished = true;
        o.success = ok;
        ++o.finishCount;
    });
    extractor.startExtraction();
    return o;
}

QList<Entry> nestedTree()
{
    return {
        {QStringLiteral("top.txt"), "top level\n"},
        {QStringLiteral("a/"), {}, Entry::Dir},
        {QStringLiteral("a/b/deep.bin"), noise(70000, 1)},
        {QStringLiteral("c/d/e/deeper.bin"), noise(3000, 2)}, // no folder entries before it
        {QStringLiteral("a/camera.zrtar"), noise(5000, 3)},
        {QStringLiteral("a/b/inside.zrtar/note.txt"), "below a .zrtar folder\n"},
        {QStringLiteral("empty.txt"), {}},
    };
}

} // namespace

class TestArchiveExtractor : public QObject
{
    Q_OBJECT

private slots:
    void extractsAndHashes_data()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("zip") << QStringLiteral("zip");
        QTest::newRow("tar.gz") << QStringLiteral("tar.gz");
        QTest::newRow("tar.xz") << QStringLiteral("tar.xz");
    }

    void extractsAndHashes()
    {
        QFETCH(QString, format);
        QTemporaryDir dir;
        const QString archive = dir.filePath(QStringLiteral("files.") + format);
        const QList<Entry> tree = nestedTree();
        QVERIFY(makeArchive(archive, format, tree));
        const QString dest = dir.filePath(QStringLiteral("out"));

        ArchiveExtractor extractor;
        extractor.set_archive_path(archive);
        extractor.set_destination_folder(dest);
        extractor.set_hash_files(true);
        extractor.set_delete_archive(true);
        const Outcome o = run(extractor);
        QCOMPARE(o.finishCount, 1);
        QVERIFY2(o.success, qPrintable(extractor.error_text()));
        QVERIFY(extractor.error_text().isEmpty());
        QVERIFY(!QFile::exists(archive));

        QMap<QString, QString> expected;
        for (const Entry& e : tree) {
            if (e.kind != Entry::File)
                continue;
            const QString path = dest + QLatin1Char('/') + e.name;
            QCOMPARE(readAll(path), e.data);
            if (!e.name.contains(QLatin1String(".zrtar")))
                expected.insert(path, sha(e.data));
        }
        QCOMPARE(o.hashes, expected);
    }

    void keepsTheArchiveAndSkipsHashingWhenNotAsked()
    {
        QTemporaryDir dir;
        const QString archive = dir.filePath(QStringLiteral("files.zip"));
        QVERIFY(makeArchive(archive, QStringLiteral("zip"), nestedTree()));
        ArchiveExtractor extractor;
        extractor.set_archive_path(archive);
        extractor.set_destination_folder(dir.filePath(QStringLiteral("out")));
        const Outcome o = run(extractor);
        QVERIFY(o.success);
        QVERIFY(o.hashes.isEmpty());
        QVERIFY(QFile::exists(archive));
        QVERIFY(QFile::exists(dir.filePath(QStringLiteral("out/c/d/e/deeper.bin"))));
    }

    void hostileEntriesLandNowhereOutside_data()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("zip") << QStringLiteral("zip");
        QTest::newRow("tar.gz") << QStringLiteral("tar.gz");
    }

    void hostileEntriesLandNowhereOutside()
    {
        QFETCH(QString, format);
        QTemporaryDir dir;
        const QString outside = dir.filePath(QStringLiteral("outside"));
        QVERIFY(QDir().mkpath(outside));
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("box"))));
        const QString dest = dir.filePath(QStringLiteral("box/out"));
        const QString secret = outside + QStringLiteral("/secret.txt");
        {
            QFile f(secret);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("the operator's own\n");
        }
        const QList<Entry> entries = {
            {QStringLiteral("good.txt"), "fine\n"},
            {QStringLiteral("../escaped.txt"), "up one\n"},
            {QStringLiteral("sub/../../../outside/planted.txt"), "up three\n"},
            {outside + QStringLiteral("/absolute.txt"), "absolute\n"},
            {QStringLiteral("link"), {}, Entry::Symlink, outside},
            {QStringLiteral("sub/rel"), {}, Entry::Symlink, QStringLiteral("../../../outside")},
            {QStringLiteral("link/through.txt"), "through the link\n"},
            {QStringLiteral("sub/rel/through2.txt"), "through the other link\n"},
            {QStringLiteral("hard"), {}, Entry::Hardlink, secret},
            {QStringLiteral("inlink"), {}, Entry::Symlink, QStringLiteral("good.txt")},
            {QStringLiteral("also-good.txt"), "also fine\n"},
        };
        const QString archive = dir.filePath(QStringLiteral("hostile.") + format);
        QVERIFY(makeArchive(archive, format, entries));

        ArchiveExtractor extractor;
        extractor.set_archive_path(archive);
        extractor.set_destination_folder(dest);
        extractor.set_delete_archive(true);
        const Outcome o = run(extractor);
        QCOMPARE(o.finishCount, 1);
        QVERIFY(!o.success);
        QVERIFY(!extractor.error_text().isEmpty());
        QVERIFY(QFile::exists(archive)); // not a complete extraction: kept

        QCOMPARE(QDir(outside).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System | QDir::Hidden),
                 QStringList{QStringLiteral("secret.txt")});
        QCOMPARE(readAll(secret), QByteArray("the operator's own\n"));
        QCOMPARE(QFileInfo(secret).size(), qint64(19));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("box/escaped.txt"))));
        QVERIFY(!QFileInfo(dest + QStringLiteral("/link")).isSymLink());
        QVERIFY(!QFileInfo(dest + QStringLiteral("/sub/rel")).isSymLink());
        // zip has no hard links: its writer stores an empty file in place of one.
        const QFileInfo hard(dest + QStringLiteral("/hard"));
        QVERIFY(!hard.exists() || (format == QLatin1String("zip") && hard.size() == 0));
        // What stays inside is extracted.
        QCOMPARE(readAll(dest + QStringLiteral("/good.txt")), QByteArray("fine\n"));
        QCOMPARE(readAll(dest + QStringLiteral("/also-good.txt")), QByteArray("also fine\n"));
        QVERIFY(QFileInfo(dest + QStringLiteral("/inlink")).isSymLink());
    }

    void damagedArchivesFailAndStay_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<int>("keep"); // bytes kept of the archive; -1: garbage in place of it
        QTest::newRow("tar.gz cut in the data") << QStringLiteral("tar.gz") << 40000;
        QTest::newRow("tar.gz cut in the header") << QStringLiteral("tar.gz") << 30;
        QTest::newRow("zip cut in the data") << QStringLiteral("zip") << 40000;
        QTest::newRow("not an archive") << QStringLiteral("zip") << -1;
    }

    void damagedArchivesFailAndStay()
    {
        QFETCH(QString, format);
        QFETCH(int, keep);
        QTemporaryDir dir;
        const QString archive = dir.filePath(QStringLiteral("damaged.") + format);
        QVERIFY(makeArchive(archive, format, {{QStringLiteral("big.bin"), noise(200000, 9)}, {QStringLiteral("after.txt"), "x"}}));
        {
            QFile f(archive);
            QVERIFY(f.open(QIODevice::ReadWrite));
            if (keep >= 0) {
                QVERIFY(f.size() > keep);
                QVERIFY(f.resize(keep));
            } else {
                f.resize(0);
                f.write(noise(5000, 4));
            }
        }
        const qint64 size = QFileInfo(archive).size();
        ArchiveExtractor extractor;
        extractor.set_archive_path(archive);
        extractor.set_destination_folder(dir.filePath(QStringLiteral("out")));
        extractor.set_delete_archive(true);
        extractor.set_hash_files(true);
        const Outcome o = run(extractor);
        QCOMPARE(o.finishCount, 1);
        QVERIFY(!o.success);
        QVERIFY(!extractor.error_text().isEmpty());
        QVERIFY(o.hashes.isEmpty());
        QCOMPARE(QFileInfo(archive).size(), size);
    }

    void missingArchiveFails()
    {
        QTemporaryDir dir;
        ArchiveExtractor extractor;
        extractor.set_archive_path(dir.filePath(QStringLiteral("none.zip")));
        extractor.set_destination_folder(dir.filePath(QStringLiteral("out")));
        const Outcome o = run(extractor);
        QCOMPARE(o.finishCount, 1);
        QVERIFY(!o.success);
        QVERIFY(!extractor.error_text().isEmpty());
    }

    void archiveThatCannotBeDeletedReportsFailure()
    {
        QTemporaryDir dir;
        QVERIFY(QFile::setPermissions(dir.path(), QFile::Permissions(0x7777)));
        const QString folder = dir.filePath(QStringLiteral("archives"));
        QVERIFY(QDir().mkpath(folder));
        const QString archive = folder + QStringLiteral("/files.tar.gz");
        QVERIFY(makeArchive(archive, QStringLiteral("tar.gz"), nestedTree()));
        const QString dest = dir.filePath(QStringLiteral("out"));
        QVERIFY(QDir().mkpath(dest));
        QVERIFY(QFile::setPermissions(dest, QFile::Permissions(0x7777)));
        // The archive's folder: readable, not writable by the extracting process.
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther | QFile::ReadGroup | QFile::ExeGroup));

        QString result;
        if (geteuid() == 0) {
            // The superuser deletes anyway: extract as an unprivileged child.
            QProcess child;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("ZR_EXTRACT_CHILD"), QStringLiteral("1"));
            env.insert(QStringLiteral("HOME"), dir.path());
            child.setProcessEnvironment(env);
            child.start(QStringLiteral("setpriv"),
                        {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups"),
                         QCoreApplication::applicationFilePath(), archive, dest});
            QVERIFY(child.waitForFinished(60000));
            if (child.exitCode() == 77)
                QSKIP("the unprivileged child cannot run here");
            QCOMPARE(child.exitCode(), 0);
            result = QString::fromUtf8(child.readAllStandardOutput());
        } else {
            ArchiveExtractor extractor;
            extractor.set_archive_path(archive);
            extractor.set_destination_folder(dest);
            extractor.set_delete_archive(true);
            extractor.set_hash_files(true);
            const Outcome o = run(extractor);
            result = QStringLiteral("%1 %2\n%3").arg(o.success ? 1 : 0).arg(o.hashes.size()).arg(extractor.error_text());
        }
        QCOMPARE(result, QStringLiteral("0 0\nExtraction réussie, mais suppression de l’archive échouée."));
        QVERIFY(QFile::exists(archive));
        QCOMPARE(readAll(dest + QStringLiteral("/c/d/e/deeper.bin")), noise(3000, 2));
    }
};

// The unprivileged child of the deletion test: extract, then print the outcome.
static int extractChild(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3)
        return 77;
    ArchiveExtractor extractor;
    extractor.set_archive_path(QString::fromLocal8Bit(argv[1]));
    extractor.set_destination_folder(QString::fromLocal8Bit(argv[2]));
    extractor.set_delete_archive(true);
    extractor.set_hash_files(true);
    const Outcome o = run(extractor);
    const QByteArray out = QStringLiteral("%1 %2\n%3").arg(o.success ? 1 : 0).arg(o.hashes.size()).arg(extractor.error_text()).toUtf8();
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    return 0;
}

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsSet("ZR_EXTRACT_CHILD"))
        return extractChild(argc, argv);
    zrtest::TestHome home;
    QCoreApplication app(argc, argv);
    TestArchiveExtractor tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_archive_extractor.moc"
