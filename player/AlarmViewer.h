#pragma once

#include "store/Vignette.h"

#include <QImage>
#include <QMainWindow>
#include <QString>

class QLabel;
class QMenu;
class QScrollArea;

// A window showing one snapshot or alarm picture, which the operator can save as a JPEG
// file. It deletes itself when closed; the caller only shows it.
class AlarmViewer : public QMainWindow
{
    Q_OBJECT
public:
    // A snapshot: the image in memory and the suggested file name.
    AlarmViewer(const QImage& image, const QString& name);
    // An alarm: the full-size picture beside the record's thumbnail.
    explicit AlarmViewer(Vignette vignette);

    // The suggested file name as given to the save dialog.
    QString saveName() const { return save_name; }

    // A name made fit for a file: the nine characters that file systems refuse become "_",
    // trailing blanks and dots go, and nothing left becomes "fichier".
    static QString cleanFileName(const QString& name);
    // The name suggested for an alarm picture, from its file name and camera.
    static QString alarmSaveName(const QString& file_name, const QString& camera_name);

private slots:
    void fitToWindow();
    void save();

private:
    void setupWindow();
    bool loadImage(const QImage& picture, const QString& path);

    QLabel* imageLabel = nullptr;
    QScrollArea* scrollArea = nullptr;
    double scaleFactor = 1.0;
    QString currentFile;
    QString image_path;
    QImage image;
    QString save_name;
    QMenu* fileMenu = nullptr;
};
