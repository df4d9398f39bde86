#pragma once

#include <QObject>
#include <QString>

// Unpacks one archive (any format and compression libarchive reads) into a folder, can
// delete the archive afterwards and hash what it extracted. The work runs in the thread
// that invokes startExtraction; it ends with exactly one extractionFinished.
class ArchiveExtractor : public QObject
{
    Q_OBJECT
public:
    explicit ArchiveExtractor(QObject* parent = nullptr);

    void set_archive_path(const QString& path) { archivePath = path; }
    QString archive_path() const { return archivePath; }
    void set_destination_folder(const QString& folder) { destinationFolder = folder; }
    QString destination_folder() const { return destinationFolder; }
    void set_delete_archive(bool on) { deleteArchive = on; }
    bool delete_archive() const { return deleteArchive; }
    void set_hash_files(bool on) { hashFiles = on; }
    bool hash_files() const { return hashFiles; }
    // The last failure's text; empty after a successful extraction.
    QString error_text() const { return errorText; }

public slots:
    void startExtraction();

signals:
    void extractionFinished(bool success);
    void fileHashed(QString filePath, QString sha256);

private:
    bool extract();
    void hashExtractedFiles();

    QString errorText;
    bool deleteArchive = false;
    bool hashFiles = false;
    QString archivePath;
    QString destinationFolder;
};
