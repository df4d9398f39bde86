#pragma once

#include <QFileInfo>
#include <QHash>
#include <QObject>
#include <QString>

class ZRTag;

// Operations on the camera-information, camera-name list and tag files of an export. Each
// camera operation takes the camera table (id -> name) and returns it with what the file
// added; the name of an id already present is never replaced.
class ZRFile : public QObject
{
    Q_OBJECT
public:
    using CameraTable = QHash<int, QString>;

    // One encrypted camera-information file (or "index.zrnfo") folded into the table.
    static CameraTable check_and_parse_nfo_file(QFileInfo file, CameraTable table);
    // One plain-text camera-name list folded into the table.
    static CameraTable read_camera_names_file(QFileInfo file, CameraTable table);
    // The table written as an encrypted merged list. Writes of one path are serialised across
    // the process, and a file that already holds the same table is left alone.
    static void create_zrnfo_index_file(QFileInfo file, CameraTable table);
    // The table of a folder's ".zrnfo" files, preferring its merged list.
    static CameraTable hash_cameras_list(QString folder, CameraTable table);
    // Any encrypted file of the store as text; a null text when nothing was decrypted.
    static QString read_decrypted_file(QFileInfo file);
    // One single-tag file; null when it can't be read or holds a "tags" list. Caller owns it.
    static ZRTag* parse_tags_file(QFileInfo file);
};
