//! libs: zr_store
// Camera information: an encrypted ".zrnfo" file (single camera or merged list) folded into
// the camera table, and the plain-text camera-name list. Input: the file's name on the first
// line, then its plaintext. The merged list the player writes reads back as the same table.
#include "fuzz/FuzzInput.h"
#include "fuzz/FuzzSupport.h"
#include "store/ZRFile.h"

#include <QFileInfo>

namespace {

// A table whose names survive UTF-8 unchanged (a lone surrogate from a JSON escape does not).
bool plainNames(const ZRFile::CameraTable& table)
{
    for (const QString& name : table)
        if (QString::fromUtf8(name.toUtf8()) != name)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    zrfuzz::init();
    FuzzInput in(data, size);
    QString name = QString::fromLatin1(in.line(64));
    name.remove(QLatin1Char('/'));
    name.remove(QLatin1Char('\\'));
    name.remove(QChar(0));
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        name = QStringLiteral("3_20250314_080000.zrnfo");
    const QByteArray plaintext = in.rest();

    const QString folder = zrfuzz::freshFolder(QStringLiteral("camera"));
    const QString path = folder + QLatin1Char('/') + name;
    if (!zrfuzz::writeEncrypted(path, plaintext))
        return 0; // a name the file system refuses

    const ZRFile::CameraTable table = ZRFile::check_and_parse_nfo_file(QFileInfo(path), {});
    for (auto it = table.cbegin(); it != table.cend(); ++it) {
        ZR_FUZZ_CHECK(it.key() != -1);
        ZR_FUZZ_CHECK(!it.value().isEmpty());
    }
    // A table already holding an id keeps its name.
    ZRFile::CameraTable seeded;
    for (auto it = table.cbegin(); it != table.cend(); ++it)
        seeded.insert(it.key(), QStringLiteral("kept"));
    const ZRFile::CameraTable kept = ZRFile::check_and_parse_nfo_file(QFileInfo(path), seeded);
    ZR_FUZZ_CHECK(kept == seeded);

    // The merged list written by the player reads back as the same table.
    const QString merged = folder + QStringLiteral("/merged/index.zrnfo");
    ZRFile::create_zrnfo_index_file(QFileInfo(merged), table);
    if (plainNames(table))
        ZR_FUZZ_CHECK(ZRFile::check_and_parse_nfo_file(QFileInfo(merged), {}) == table);
    ZRFile::hash_cameras_list(folder, {});

    // The same bytes as a plain-text camera-name list.
    const QString list = folder + QStringLiteral("/cameras.txt");
    ZR_FUZZ_CHECK(zrfuzz::writeFile(list, plaintext));
    const ZRFile::CameraTable named = ZRFile::read_camera_names_file(QFileInfo(list), {});
    for (auto it = named.cbegin(); it != named.cend(); ++it)
        ZR_FUZZ_CHECK(!it.value().isEmpty());
    ZRFile::read_decrypted_file(QFileInfo(path));
    return 0;
}
