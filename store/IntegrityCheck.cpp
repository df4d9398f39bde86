#include "store/IntegrityCheck.h"

#include "app/Log.h"
#include "store/Encrypt.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QRegularExpression>
#include <QSet>

#include <openssl/evp.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// Large reads keep the system-call count low; the digest is the same as over the whole file.
constexpr qint64 kHashChunk = 1 << 20;

const QStringList& countExclusions()
{
    static const QStringList names{QStringLiteral("index.zrnfo"), QStringLiteral("hash.json"),
                                   QStringLiteral("zrvideoindex.json"), QStringLiteral("zrindex_cache")};
    return names;
}

const QStringList& listExclusions()
{
    static const QStringList names{QStringLiteral("index.zrnfo"), QStringLiteral("hash.json"),
                                   QStringLiteral("zrvideoindex.json")};
    return names;
}

QString cleanAbsolute(const QString& path)
{
    QString p = path;
    p.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return QDir::cleanPath(QFileInfo(p).absoluteFilePath());
}

// Strictly below base (both cleaned); case-sensitive so that a sibling folder whose name
// differs only in case is never taken for the day folder.
bool isBelow(const QString& path, const QString& base)
{
    if (base.isEmpty())
        return false;
    const QString prefix = base.endsWith(QLatin1Char('/')) ? base : base + QLatin1Char('/');
    return path.startsWith(prefix) && path.size() > prefix.size();
}

struct EvpMdCtxFree
{
    void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};

enum class HashStatus { Ok, OpenFailed, ReadFailed, Stopped };

HashStatus hashFile(const QString& path, const std::atomic<bool>& stop, QString* digest)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return HashStatus::OpenFailed;

    std::unique_ptr<EVP_MD_CTX, EvpMdCtxFree> ctx(EVP_MD_CTX_new());
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1)
        return HashStatus::ReadFailed;

    std::vector<char> buffer(static_cast<size_t>(kHashChunk));
    for (;;) {
        // A stop must not wait for the rest of a recording that may be gigabytes long.
        if (stop.load())
            return HashStatus::Stopped;
        const qint64 n = file.read(buffer.data(), kHashChunk);
        if (n < 0)
            return HashStatus::ReadFailed;
        if (n == 0)
            break;
        if (EVP_DigestUpdate(ctx.get(), buffer.data(), static_cast<size_t>(n)) != 1)
            return HashStatus::ReadFailed;
    }

    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int mdLength = 0;
    if (EVP_DigestFinal_ex(ctx.get(), md, &mdLength) != 1)
        return HashStatus::ReadFailed;
    *digest = QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(md), static_cast<int>(mdLength)).toHex());
    return HashStatus::Ok;
}

bool nameExcluded(const QString& name, const QStringList& excluded)
{
    for (const QString& text : excluded) {
        if (name.contains(text))
            return true;
    }
    return false;
}

} // namespace

IntegrityCheck::IntegrityCheck(QString day_directory)
    : QThread(nullptr)
    , result(true)
    , day_directory(QDir::cleanPath(day_directory.replace(QLatin1Char('\\'), QLatin1Char('/'))))
    , stop_requested(false)
{
}

IntegrityCheck::~IntegrityCheck()
{
    // The creator may release the check while it runs (its dialog was closed): stop it and
    // wait, so that the thread never outlives its object.
    if (isRunning()) {
        stop_requested.store(true);
        wait();
    }
}

void IntegrityCheck::user_stop()
{
    write_log("[INFO] Integrity check :: stopped by user");
    stop_requested.store(true);
}

void IntegrityCheck::run()
{
    write_log("[INFO] Integrity check :: start");
    check_integrity_in_directory();
}

void IntegrityCheck::walk(const QString& folder, const QStringList& excluded, QList<QFileInfo>& out) const
{
    const QDir dir(folder);
    const QFileInfoList files = dir.entryInfoList(QDir::Files, QDir::Name);
    for (const QFileInfo& info : files) {
        if (!nameExcluded(info.fileName(), excluded))
            out.append(info);
    }
    // Symbolic links to folders are not followed: a link loop would never end.
    const QFileInfoList folders = dir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Name);
    for (const QFileInfo& info : folders)
        walk(info.absoluteFilePath(), excluded, out);
}

int IntegrityCheck::count_files(const QString& folder) const
{
    QList<QFileInfo> files;
    walk(folder, countExclusions(), files);
    return static_cast<int>(files.size());
}

QList<QFileInfo> IntegrityCheck::list_files(const QString& folder) const
{
    QList<QFileInfo> files;
    walk(folder, listExclusions(), files);
    return files;
}

QJsonArray IntegrityCheck::get_json_array(const QString& path) const
{
    if (!QFileInfo::exists(path))
        return QJsonArray();
    Encrypt encrypt;
    const std::string plain = encrypt.decrypt_file(path);
    if (plain.empty()) {
        write_log("[ERROR] Integrity check :: get json array :: faild to openfile READ :: " + path);
        return QJsonArray();
    }
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(plain));
    return doc.isArray() ? doc.array() : QJsonArray();
}

void IntegrityCheck::log_file_differences(const QJsonArray& entries, const QList<QFileInfo>& files) const
{
    // Where each entry's file is looked for: below this day folder through its "path", else
    // its "absolutepath" (a moved export still compares like for like).
    const QString day = cleanAbsolute(day_directory);
    QSet<QString> expected;
    for (const QJsonValue& value : entries) {
        if (!value.isObject())
            continue;
        const QJsonObject entry = value.toObject();
        QString relative = entry.value(QStringLiteral("path")).toString();
        relative.replace(QLatin1Char('\\'), QLatin1Char('/'));
        const QString absolute = entry.value(QStringLiteral("absolutepath")).toString();
        if (!relative.isEmpty())
            expected.insert(QDir::cleanPath(day + QLatin1Char('/') + relative));
        else if (!absolute.isEmpty())
            expected.insert(cleanAbsolute(absolute));
    }
    QSet<QString> present;
    for (const QFileInfo& info : files)
        present.insert(QDir::cleanPath(info.absoluteFilePath()));

    for (const QString& path : std::as_const(expected)) {
        if (!present.contains(path))
            write_log("[ERROR] Integrity check :: invalid integrity :: file missing :: " + path);
    }
    for (const QString& path : std::as_const(present)) {
        if (!expected.contains(path))
            write_log("[ERROR] Integrity check :: invalid integrity :: file added :: " + path);
    }
}

QString IntegrityCheck::resolve_entry(const QString& name, const QString& relative, const QString& absolute,
                                      bool* through_absolute) const
{
    static const QRegularExpression drive(QStringLiteral("^[A-Za-z]:"));
    const QString day = cleanAbsolute(day_directory);
    const QString canonicalDay = QFileInfo(day).canonicalFilePath();
    *through_absolute = false;

    // The file must really lie in this day folder, symbolic links resolved.
    auto insideDay = [&](const QString& candidate) {
        const QString canonical = QFileInfo(candidate).canonicalFilePath();
        return !canonical.isEmpty() && isBelow(canonical, canonicalDay);
    };

    if (!relative.isEmpty()) {
        QString rel = relative;
        rel.replace(QLatin1Char('\\'), QLatin1Char('/'));
        const QString candidate = QDir::cleanPath(day + QLatin1Char('/') + rel);
        if (rel.startsWith(QLatin1Char('/')) || drive.match(rel).hasMatch() || !isBelow(candidate, day)) {
            write_log("[ERROR] Integrity check :: check integrity :: path outside the day folder :: " + relative);
            return QString();
        }
        if (QFileInfo(candidate).isFile()) {
            if (!insideDay(candidate)) {
                write_log("[ERROR] Integrity check :: check integrity :: path outside the day folder :: " + relative);
                return QString();
            }
            write_log("[INFO] Integrity check :: check integrity :: path file :: " + candidate + " exist");
            return candidate;
        }
    }

    // The recorder's absolute path is trusted only inside the day folder being checked: an
    // original that still exists elsewhere must not stand in for this copy.
    if (!absolute.isEmpty()) {
        const QString candidate = cleanAbsolute(absolute);
        if (isBelow(candidate, day) && QFileInfo(candidate).isFile() && insideDay(candidate)) {
            *through_absolute = true;
            return candidate;
        }
    }

    write_log("[ERROR] Integrity check :: check integrity :: couldn't find file :: " + name);
    return QString();
}

void IntegrityCheck::check_integrity_in_directory()
{
    write_log("[INFO] Integrity check :: check integrity in directory " + day_directory);
    const int count = count_files(day_directory);
    write_log("[INFO] Integrity check :: files count in root directory " + day_directory + " : "
              + QString::number(count));

    const QString hashPath = day_directory + QStringLiteral("/hash.json");
    const QJsonArray entries = get_json_array(hashPath);
    if (entries.isEmpty()) {
        write_log("[ERROR] Integrity check :: check integrity :: array empty :: " + hashPath);
        result = false;
    }

    emit hash_file_found(!entries.isEmpty());
    emit file_count(static_cast<int>(entries.size()));
    emit start_check();

    if (entries.size() == count) {
        emit file_count_check(true);
    } else {
        write_log("[ERROR] Integrity check :: check integrity :: size not valid :: "
                  + QString::number(entries.size()) + "(size) != " + QString::number(count) + "(count)");
        result = false;
        log_file_differences(entries, list_files(day_directory));
        emit file_count_check(false);
    }

    if (result) {
        // Every counted file must be reached by exactly one entry: with as many entries as
        // counted files, that means each of them was hashed once.
        QList<QFileInfo> countedFiles;
        walk(day_directory, countExclusions(), countedFiles);
        QSet<QString> counted;
        for (const QFileInfo& info : countedFiles)
            counted.insert(QDir::cleanPath(info.absoluteFilePath()));
        QSet<QString> checked;

        for (int i = 0; i < entries.size(); ++i) {
            if (stop_requested.load()) {
                result = false;
                break;
            }
            const QJsonObject entry = entries.at(i).toObject();
            const QString file = entry.value(QStringLiteral("file")).toString();
            const QString relative = entry.value(QStringLiteral("path")).toString();
            const QString absolute = entry.value(QStringLiteral("absolutepath")).toString();
            const QString digest = entry.value(QStringLiteral("sha256")).toString();

            // An entry is named by its file, else by what locates it, else by its position.
            QString name = file;
            if (name.isEmpty())
                name = !relative.isEmpty() ? relative : absolute;
            if (name.isEmpty())
                name = QStringLiteral("#") + QString::number(i + 1);

            emit begin_check_file(name);

            auto fail = [&] {
                result = false;
                emit end_check_file(name, false);
            };

            bool throughAbsolute = false;
            const QString path = resolve_entry(name, relative, absolute, &throughAbsolute);
            if (path.isEmpty()) {
                fail();
                break;
            }
            if (!counted.contains(path)) {
                write_log("[ERROR] Integrity check :: check integrity :: not a counted file :: " + path);
                fail();
                break;
            }
            if (checked.contains(path)) {
                write_log("[ERROR] Integrity check :: check integrity :: file listed twice :: " + path);
                fail();
                break;
            }
            checked.insert(path);
            if (digest.isEmpty()) {
                write_log("[ERROR] Integrity check :: check integrity :: no hash log for file " + path);
                fail();
                break;
            }

            QString computed;
            const HashStatus status = hashFile(path, stop_requested, &computed);
            if (status == HashStatus::Stopped) {
                // Left before the end of this file: it was not checked, so no verdict for it.
                result = false;
                break;
            }
            if (status == HashStatus::OpenFailed) {
                if (throughAbsolute)
                    write_log("[ERROR] Integrity check :: check integrity :: faile do open file :: " + path);
                else
                    write_log("[ERROR] Integrity check :: check integrity :: failed to open file :: " + path);
                fail();
                break;
            }
            if (status == HashStatus::ReadFailed) {
                write_log("[ERROR] Integrity check :: check integrity :: failed to read file :: " + path);
                fail();
                break;
            }
            if (computed != digest) {
                write_log("[ERROR] Integrity check :: check integrity :: failed " + digest + " != " + computed);
                fail();
                break;
            }
            emit end_check_file(name, true);
        }

        if (result && checked.size() != counted.size()) {
            write_log("[ERROR] Integrity check :: check integrity :: files not checked :: "
                      + QString::number(counted.size() - checked.size()));
            result = false;
        }
    }

    if (result)
        write_log("[INFO] Integrity check :: INTEGRITY OK");
    else
        write_log("[ERROR] Integrity check :: INTEGRITY NOT CONFIRMED");
    emit end_check(result);
}
