#include "player/AlarmViewer.h"

#include "app/Log.h"

#include <QAction>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QRegularExpression>
#include <QSaveFile>
#include <QScreen>
#include <QScrollArea>
#include <QtMath>

namespace {

QString remove_thumb(QString text)
{
    return text.remove(QStringLiteral("-thumb"));
}

// The full picture lies beside its thumbnail; only the file's own name carries the mark.
QString full_image_path(const QString& thumbnail)
{
    if (thumbnail.isEmpty())
        return thumbnail;
    QString path = thumbnail;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    return path.left(slash + 1) + remove_thumb(path.mid(slash + 1));
}

QString dashed_date(const QString& yyyymmdd)
{
    const QDate date = QDate::fromString(yyyymmdd, QStringLiteral("yyyyMMdd"));
    return date.isValid() ? date.toString(QStringLiteral("yyyy-MM-dd")) : yyyymmdd;
}

} // namespace

AlarmViewer::AlarmViewer(const QImage& snapshot, const QString& name) : QMainWindow(nullptr)
{
    const QString cleaned = cleanFileName(name);
    write_log(QStringLiteral("[INFO] AlarmViewer :: load image ") + cleaned);
    setupWindow();
    save_name = cleaned;
    image = snapshot;
    loadImage(image, cleaned);
}

AlarmViewer::AlarmViewer(Vignette vignette) : QMainWindow(nullptr)
{
    image_path = full_image_path(vignette.file_path);
    vignette.image_path = image_path;
    write_log(QStringLiteral("[INFO] AlarmViewer :: filename ") + image_path);
    write_log(QStringLiteral("[INFO] AlarmViewer :: vignette ") + vignette.file_name);
    setupWindow();
    save_name = alarmSaveName(vignette.file_name, vignette.camera_name);
    loadImage(QImage(image_path), image_path);
}

QString AlarmViewer::cleanFileName(const QString& name)
{
    static const QRegularExpression forbidden(QStringLiteral("[\\\\/:*?\"<>|]"));
    QString cleaned = name;
    cleaned.replace(forbidden, QStringLiteral("_"));
    while (!cleaned.isEmpty() && (cleaned.endsWith(QLatin1Char(' ')) || cleaned.endsWith(QLatin1Char('.'))))
        cleaned.chop(1);
    if (cleaned.isEmpty())
        cleaned = QStringLiteral("fichier");
    return cleaned;
}

QString AlarmViewer::alarmSaveName(const QString& file_name, const QString& camera_name)
{
    const QStringList parts = file_name.split(QLatin1Char('_'));
    QString camera = camera_name;
    camera.remove(QLatin1Char(' '));
    QString name = camera + QLatin1Char('_');
    if (parts.size() == 4) {
        name += parts.at(1) + QLatin1Char('_') + dashed_date(parts.at(2)) + QLatin1Char('_')
                + remove_thumb(parts.at(3));
    } else if (parts.size() >= 3) {
        name += dashed_date(parts.at(1)) + QLatin1Char('_') + remove_thumb(parts.at(2));
    } else {
        // No date and time to take apart: keep the file's own name, extension included.
        name += remove_thumb(file_name);
    }
    // Camera names come from the recorder and may hold characters no file name can.
    return cleanFileName(name);
}

void AlarmViewer::setupWindow()
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("alarmViewer"));

    imageLabel = new QLabel(this);
    imageLabel->setObjectName(QStringLiteral("alarmViewerImage"));
    imageLabel->setBackgroundRole(QPalette::Base);
    imageLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    imageLabel->setScaledContents(true);

    scrollArea = new QScrollArea(this);
    scrollArea->setBackgroundRole(QPalette::Dark);
    scrollArea->setWidget(imageLabel);
    scrollArea->setWidgetResizable(true);
    setCentralWidget(scrollArea);

    fileMenu = menuBar()->addMenu(tr("&Fichier"));
    QAction* saveAction = fileMenu->addAction(QIcon(QStringLiteral(":/imgs/save36.png")), tr("Enregistrer"));
    saveAction->setObjectName(QStringLiteral("saveAction"));
    saveAction->setCheckable(true);
    saveAction->setToolTip(tr("Enregistrer l'alarme"));
    connect(saveAction, &QAction::triggered, this, &AlarmViewer::save);

    save_name.clear();
}

bool AlarmViewer::loadImage(const QImage& picture, const QString& path)
{
    if (picture.isNull()) {
        QMessageBox::information(this, QGuiApplication::applicationDisplayName(),
                                 tr("Cannot load %1.").arg(QDir::toNativeSeparators(path)));
        setWindowFilePath(QString());
        imageLabel->setPixmap(QPixmap());
        imageLabel->adjustSize();
        return false;
    }

    currentFile = path;
    imageLabel->setPixmap(QPixmap::fromImage(picture));
    scaleFactor = 1.0;
    imageLabel->adjustSize();
    move(0, 0);
    resize(picture.size());
    setWindowFilePath(save_name);

    QSize available(0, 0);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        available = screen->availableSize();
    write_log(QStringLiteral("[INFO] AlarmViewer :: width ") + QString::number(picture.width())
              + QStringLiteral(" > ") + QString::number(available.width()));
    write_log(QStringLiteral("[INFO] AlarmViewer :: height ") + QString::number(picture.height())
              + QStringLiteral(" > ") + QString::number(available.height()));

    if (picture.width() > available.width() || picture.height() > available.height())
        resize(qRound(picture.width() / 2.0), qRound(picture.height() / 2.0));
    fitToWindow();
    return true;
}

void AlarmViewer::fitToWindow()
{
    scrollArea->setWidgetResizable(true);
    imageLabel->update();
}

void AlarmViewer::save()
{
    write_log(QStringLiteral("[INFO] AlarmViewer :: register name ") + save_name);

    const QString home = QDir::homePath();
    QString folder = home + QStringLiteral("/");
    if (QFileInfo(home + QStringLiteral("/Downloads/")).isDir())
        folder = home + QStringLiteral("/Downloads/");
    else if (QFileInfo(home + QStringLiteral("/Téléchargements/")).isDir())
        folder = home + QStringLiteral("/Téléchargements/");

    const QString target = QFileDialog::getSaveFileName(this, tr("Enregistrer sous ..."), folder + save_name,
                                                        tr("jpg (*.jpg)"));
    if (target.isEmpty())
        return;

    bool saved = false;
    if (!image_path.isEmpty()) {
        saved = QFile::copy(image_path, target);
    } else {
        // A name typed without a suffix still gets a JPEG, the only kind offered.
        QByteArray format = QFileInfo(target).suffix().toLatin1();
        if (format.isEmpty())
            format = "JPG";
        QSaveFile file(target);
        saved = file.open(QIODevice::WriteOnly) && image.save(&file, format.constData()) && file.commit();
    }

    if (saved)
        QMessageBox::information(this, tr("Information"), tr("Fichier enregistré avec succés."));
    else
        QMessageBox::warning(this, tr("Attention"), tr("Erreur lors de l'enregistrement du fichier"));
    close();
}
