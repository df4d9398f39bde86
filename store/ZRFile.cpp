#include "store/ZRFile.h"

#include "app/Log.h"
#include "store/Encrypt.h"
#include "store/IndexPlacement.h"
#include "store/StoreLayout.h"
#include "store/ZRTag.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QMutexLocker>
#include <QTextStream>

#include <memory>

namespace {

const QString kStandardAlphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789");
const QString kSubstitutionAlphabet = QStringLiteral("QwErTyUiOpAsDfGhJkLzXcVbNm7305916248qWeRtYuIoPaSdFgHjKlZxCvBnM");

// "index.zrnfo" is rewritten in place by the camera listing and by the index workers; one
// lock per file keeps their writes (and our own reads) from interleaving.
std::shared_ptr<QMutex> fileLock(const QString& path)
{
    static QMutex registryMutex;
    static QHash<QString, std::shared_ptr<QMutex>> locks;
    const QString key = normalizePath(QFileInfo(path).absoluteFilePath());
    QMutexLocker locker(&registryMutex);
    std::shared_ptr<QMutex>& lock = locks[key];
    if (!lock)
        lock = std::make_shared<QMutex>();
    return lock;
}

ZRFile::CameraTable camerasFromPlaintext(const std::string& plaintext, const QString& fileName,
                                         ZRFile::CameraTable table)
{
    const QJsonObject root =
        QJsonDocument::fromJson(QByteArray::fromStdString(plaintext)).object();
    const QJsonArray cameras = root.value(QStringLiteral("cameras")).toArray();

    if (!cameras.isEmpty()) {
        for (const QJsonValue& value : cameras) {
            const QJsonObject camera = value.toObject();
            const int id = camera.value(QStringLiteral("cam_id")).toInt(0);
            const QString name = camera.value(QStringLiteral("cam_name")).toString();
            if (id != -1 && !name.isEmpty() && !table.contains(id))
                table.insert(id, name);
        }
        return table;
    }

    const QString name = root.value(QStringLiteral("cam_name")).toString();
    const int id = root.value(QStringLiteral("cam_id")).toInt(0);
    if (id == -1 || name.isEmpty())
        return table;

    // A single-camera file named after another id follows its name.
    QString idFromName;
    if (!fileName.contains(QLatin1String("index")) && fileName.contains(QLatin1Char('_')))
        idFromName = fileName.left(fileName.indexOf(QLatin1Char('_')));

    int entryId = id;
    QString entryName = name;
    if (!idFromName.isNull()) {
        const int nameId = idFromName.toInt();
        if (nameId != id) {
            write_log("[WARN] ZRFile :: check and parse nfo file :: different camid in nfo. Set NFO filename camid");
            entryId = nameId;
            entryName = QStringLiteral("CAMERA ") + idFromName;
        }
    }
    if (!table.contains(entryId))
        table.insert(entryId, entryName);
    return table;
}

std::string decryptLocked(const QString& path)
{
    const std::shared_ptr<QMutex> lock = fileLock(path);
    QMutexLocker locker(lock.get());
    return Encrypt().decrypt_file(path);
}

} // namespace

ZRFile::CameraTable ZRFile::check_and_parse_nfo_file(QFileInfo file, CameraTable table)
{
    const std::string plaintext = decryptLocked(file.absoluteFilePath());
    if (plaintext.empty())
        return table;
    return camerasFromPlaintext(plaintext, file.fileName(), std::move(table));
}

ZRFile::CameraTable ZRFile::read_camera_names_file(QFileInfo file, CameraTable table)
{
    QFile f(file.filePath());
    if (!f.exists() || !f.open(QIODevice::ReadOnly | QIODevice::Text))
        return table;

    QTextStream in(&f);
    QString line;
    while (in.readLineInto(&line)) {
        const int first = line.indexOf(QLatin1Char('_'));
        if (first < 0)
            continue;
        const int second = line.indexOf(QLatin1Char('_'), first + 1);
        const QString payload = second < 0 ? line.mid(first + 1) : line.mid(first + 1, second - first - 1);
        if (payload.isEmpty())
            continue;

        // Undo the substitution; Base64's own "+", "/" and "=" are outside both alphabets and
        // stay as they are.
        QString unscrambled;
        unscrambled.reserve(payload.size());
        for (const QChar c : payload) {
            const int pos = kSubstitutionAlphabet.indexOf(c);
            unscrambled.append(pos < 0 ? c : kStandardAlphabet.at(pos));
        }
        std::reverse(unscrambled.begin(), unscrambled.end());
        const QString text = QString::fromUtf8(QByteArray::fromBase64(unscrambled.toUtf8()));

        QString idText;
        QString name;
        for (QString field : text.split(QLatin1Char('|'))) {
            if (field.contains(QLatin1String("id="))) {
                field.remove(QStringLiteral("id="));
                idText = field;
            }
            if (field.contains(QLatin1String("name="))) {
                field.remove(QStringLiteral("name="));
                name = field;
            }
        }
        if (idText.isEmpty() || name.isEmpty())
            continue;
        const int id = idText.toInt();
        if (!table.contains(id))
            table.insert(id, name);
    }
    return table;
}

void ZRFile::create_zrnfo_index_file(QFileInfo file, CameraTable table)
{
    QJsonArray cameras;
    for (auto it = table.cbegin(); it != table.cend(); ++it) {
        write_log(QStringLiteral("[INFO] ZRFile :: create zrnfo index file :: camera  ")
                  + QString::number(it.key()) + QStringLiteral(" - ") + it.value());
        QJsonObject camera;
        camera.insert(QStringLiteral("cam_id"), it.key());
        camera.insert(QStringLiteral("cam_name"), it.value());
        cameras.append(camera);
    }
    QJsonObject root;
    root.insert(QStringLiteral("cameras"), cameras);
    const QByteArray json = QJsonDocument(root).toJson(QJsonDocument::Compact);

    const QString path = file.filePath();
    write_log(QStringLiteral("[INFO] ZRFile :: create zrnfo index file :: path    ") + path);
    write_log(QStringLiteral("[INFO] ZRFile :: create zrnfo index file :: value  ") + QString::fromUtf8(json));

    // A day folder that cannot be written (a read-only export) is left as it is: the camera
    // listing reads the cameras' own files instead.
    if (!IndexPlacement::canWriteInto(QFileInfo(path).absolutePath())) {
        write_log(QStringLiteral("[INFO] ZRFile :: create zrnfo index file :: folder not writable, not written"));
        return;
    }

    const std::shared_ptr<QMutex> lock = fileLock(path);
    QMutexLocker locker(lock.get());
    // A needless rewrite would also touch the day folder's time, which the snapshot cache watches.
    if (QFileInfo::exists(path)) {
        const std::string current = Encrypt().decrypt_file(path);
        if (!current.empty() && camerasFromPlaintext(current, file.fileName(), CameraTable()) == table) {
            write_log(QStringLiteral("[INFO] ZRFile :: create zrnfo index file :: unchanged, not rewritten"));
            return;
        }
    }
    Encrypt().encrypt_to_file(json.toStdString(), path);
}

ZRFile::CameraTable ZRFile::hash_cameras_list(QString folder, CameraTable table)
{
    if (folder.isEmpty()) {
        write_log("[ERROR] ZRFile :: hash cameras list :: root directory is empty");
        return table;
    }
    const QFileInfoList files = QDir(folder).entryInfoList({QStringLiteral("*.zrnfo")}, QDir::Files,
                                                           QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& info : files) {
        if (!info.fileName().contains(QLatin1String("index")))
            continue;
        write_log(QStringLiteral("[INFO] ZRFile :: hash cameras list :: zrnfo filename :: ") + info.filePath());
        table = check_and_parse_nfo_file(info, std::move(table));
    }
    if (table.isEmpty()) {
        for (const QFileInfo& info : files) {
            write_log(QStringLiteral("[INFO] ZRFile :: hash cameras list :: zrnfo filename :: ") + info.filePath());
            table = check_and_parse_nfo_file(info, std::move(table));
        }
    }
    return table;
}

QString ZRFile::read_decrypted_file(QFileInfo file)
{
    const std::string plaintext = Encrypt().decrypt_file(file.filePath());
    if (plaintext.empty())
        return QString();
    return QString::fromStdString(plaintext);
}

ZRTag* ZRFile::parse_tags_file(QFileInfo file)
{
    const std::string plaintext = Encrypt().decrypt_file(file.filePath());
    if (plaintext.empty())
        return nullptr;

    const QJsonObject root = QJsonDocument::fromJson(QByteArray::fromStdString(plaintext)).object();
    const QJsonValue tags = root.value(QStringLiteral("tags"));
    if (tags.isArray() && !tags.toArray().isEmpty())
        return nullptr;

    auto text = [&root](const char* key) { return root.value(QLatin1String(key)).toString(); };
    const int camId = root.value(QStringLiteral("tag_cam_id")).toInt(-1);

    auto* tag = new ZRTag();
    tag->set_tag_cam_id(QString::number(camId));
    tag->set_tag_created_at(text("tag_created_at"));
    tag->set_tag_datetime(text("tag_datetime"));
    tag->set_tag_description(text("tag_description"));
    tag->set_file_encoded_at(text("file_encoded_at"));
    tag->set_tag_id(text("tag_id"));
    tag->set_tag_name(text("tag_name"));
    tag->set_tag_user_id(text("tag_user_id"));
    return tag;
}
