#include "export/PopupExport.h"

#include "app/Log.h"
#include "export/Download_presentation.h"
#include "export/EncodeItem_Presentation.h"
#include "export/RawExport.h"
#include "export/export_error.h"
#include "export/ff_export.h"
#include "platform/ThemeSetting.h"
#include "store/StoreLayout.h"
#include "store/ZRFile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFontMetrics>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QStyleFactory>
#include <QTextStream>
#include <QTimeEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include <limits>

namespace {

const QString kInfo = QStringLiteral("[INFO] ZRPlayer Popup Export :: ");
const QString kError = QStringLiteral("[ERROR] ZRPlayer Popup Export :: ");
const QString kIcons = QStringLiteral(":/qml/Zrplayer/resources/icons/");
const QString kLastDirKey = QStringLiteral("export/lastDir");

QString style_sheet(bool light)
{
    const QString font = QStringLiteral("font-family: \"Segoe UI\",\"Helvetica Neue\",sans-serif; font-size: 11pt;");
    const QString white = light ? QString() : QStringLiteral("_white");
    QString s;
    if (light) {
        s += QStringLiteral("QWidget { %1 background-color:#f7f7f7; }\n").arg(font);
        s += QStringLiteral("QLabel { color:#333; }\n");
        s += QStringLiteral("QLineEdit, QComboBox, QTimeEdit { color:black; border:1px solid #ccc; border-radius:4px; "
                            "padding:4px 6px; background-color:#fff; }\n");
    } else {
        s += QStringLiteral("QWidget { %1 background-color:#2b2b2b; color:white; }\n").arg(font);
        s += QStringLiteral("QLabel { color:white; }\n");
        s += QStringLiteral("QLineEdit, QComboBox, QTimeEdit { color:white; background-color:#3a3a3a; "
                            "border:1px solid #555; border-radius:4px; padding:4px 6px; }\n");
    }
    s += QStringLiteral("QLineEdit:focus, QComboBox:focus, QTimeEdit:focus { border:1px solid #5e9ed6; }\n");
    s += QStringLiteral("QTimeEdit::up-button { subcontrol-origin:border; subcontrol-position:top right; width:20px; "
                        "image: url(%1arrow_up%2.svg); padding:2px; }\n").arg(kIcons, white);
    s += QStringLiteral("QTimeEdit::down-button { subcontrol-origin:border; subcontrol-position:bottom right; "
                        "width:20px; image: url(%1arrow_down%2.svg); padding:2px; }\n").arg(kIcons, white);
    s += QStringLiteral("QTimeEdit::up-arrow, QTimeEdit::down-arrow { width:12px; height:12px; }\n");
    s += light ? QStringLiteral("QCheckBox { spacing:6px; }\n") : QStringLiteral("QCheckBox { spacing:6px; color:white; }\n");
    s += QStringLiteral("QCheckBox::indicator { width:18px; height:18px; }\n");
    s += QStringLiteral("QCheckBox::indicator:unchecked { image: url(%1checkbox_unchecked%2.svg); }\n").arg(kIcons, white);
    s += QStringLiteral("QCheckBox::indicator:checked { image: url(%1checkbox_checked%2.svg); }\n").arg(kIcons, white);
    s += QStringLiteral("QPushButton { background-color:#5e9ed6; color:white; border:none; padding:6px 14px; "
                        "border-radius:4px; }\n");
    s += QStringLiteral("QPushButton:hover { background-color:#4b8cc7; }\n");
    s += QStringLiteral("QPushButton:pressed { background-color:#417bb2; }\n");
    s += QStringLiteral("QToolButton { border:none; background:transparent; }\n");
    s += light ? QStringLiteral("QComboBox QAbstractItemView { color:black; background-color:#ffffff; "
                                "selection-background-color:#5e9ed6; selection-color:white; }\n")
               : QStringLiteral("QComboBox QAbstractItemView { color:white; background-color:#2b2b2b; "
                                "selection-background-color:#5e9ed6; selection-color:white; }\n");
    return s;
}

void set_field_policy(QWidget* w)
{
    w->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

} // namespace

PopupExport::PopupExport(QFileInfoList files, int camera, QString stream, QStringList, QString day, QString timestamp)
    : QDialog(nullptr)
{
    camera_id = camera;
    stream_id = std::move(stream);
    video_files = std::move(files);
    day_directory = std::move(day);
    write_log(kInfo + QStringLiteral("Popup Export :: ") + timestamp);

    export_timestamp = QDateTime::fromString(timestamp, QStringLiteral("yyyy-MM-dd HH:mm:ss:zzz"));
    if (!export_timestamp.isValid()) {
        write_log(kInfo + QStringLiteral("Timestamp not valid. Try another format"));
        export_timestamp = QDateTime::fromString(timestamp, QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    }
    if (export_timestamp.isValid()) {
        write_log(kInfo + QStringLiteral("export timestamp :: ") + timestamp);
    } else {
        write_log(kInfo + QStringLiteral("Timestamp not valid."));
        export_timestamp = QDateTime::currentDateTime();
    }

    QSettings settings(settings_organisation, settings_application);
    last_dir = settings.value(kLastDirKey).toString();
    build_form();
}

PopupExport::~PopupExport()
{
    // A running raw copy is told to stop; it deletes itself once its thread has finished.
    // One never started goes at once.
    if (raw_exporter) {
        disconnect(raw_exporter, nullptr, this, nullptr);
        if (raw_exporter->isRunning())
            raw_exporter->set_stop();
        else if (!raw_exporter->isFinished())
            delete raw_exporter.data();
        raw_exporter = nullptr;
    }
    // The export thread belongs to its download row, which releases it after its end.
    exporter = nullptr;
    delete error_popup;
    error_popup = nullptr;
}

void PopupExport::closeall()
{
    write_log(kInfo + QStringLiteral("closeall"));
}

Download_presentation* PopupExport::get_download_window() const
{
    return download_window.data();
}

RawExport* PopupExport::get_raw_exporter() const
{
    return raw_exporter.data();
}

bool PopupExport::is_raw_running() const
{
    return raw_exporter && !raw_exporter->isFinished();
}

void PopupExport::build_form()
{
    write_log(kInfo + QStringLiteral("Set Layout"));
    write_log(kInfo + QStringLiteral("Selected camera ") + QString::number(camera_id));

    const bool light = zrplatform::apps_use_light_theme();
    setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    if (!light) {
        QPalette pal = palette();
        pal.setColor(QPalette::Window, QColor("#2b2b2b"));
        pal.setColor(QPalette::Base, QColor("#3a3a3a"));
        pal.setColor(QPalette::Text, Qt::white);
        pal.setColor(QPalette::Button, QColor("#444"));
        pal.setColor(QPalette::ButtonText, Qt::white);
        pal.setColor(QPalette::Highlight, QColor("#5e9ed6"));
        pal.setColor(QPalette::HighlightedText, Qt::white);
        setPalette(pal);
    }
    setStyleSheet(style_sheet(light));

    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(10);
    layout->setContentsMargins(24, 8, 24, 16);

    auto* heading = new QLabel(tr("Exportation d'une séquence vidéo"), this);
    heading->setObjectName(QStringLiteral("headingLabel"));
    heading->setMinimumHeight(24);
    QFont headingFont = heading->font();
    headingFont.setPointSize(14);
    headingFont.setWeight(QFont::Bold);
    heading->setFont(headingFont);
    heading->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    layout->addWidget(heading);

    auto* formWidget = new QWidget(this);
    auto* form = new QFormLayout(formWidget);
    form->setLabelAlignment(Qt::AlignRight);
    form->setFormAlignment(Qt::AlignLeft | Qt::AlignTop);
    form->setHorizontalSpacing(14);
    form->setVerticalSpacing(10);
    form->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);

    cameraCombo = new QComboBox(formWidget);
    cameraCombo->setObjectName(QStringLiteral("cameraCombo"));
    set_field_policy(cameraCombo);
    if (!video_files.isEmpty()) {
        cameraCombo->addItems(camera_names_from_files());
        for (int i = 0; i < cameraCombo->count(); ++i) {
            const QString text = cameraCombo->itemText(i);
            int id = -1;
            const int absent = std::numeric_limits<int>::min();
            const int key = camera_names.key(text, absent);
            if (!camera_names.isEmpty() && key != absent)
                id = key;
            else if (text.startsWith(QLatin1String("CAMERA ")))
                id = text.mid(7).toInt();
            cameraCombo->setItemData(i, id, Qt::UserRole);
        }
        for (int i = 0; i < cameraCombo->count(); ++i) {
            if (cameraCombo->itemData(i, Qt::UserRole).toInt() == camera_id) {
                cameraCombo->setCurrentIndex(i);
                break;
            }
        }
    }
    form->addRow(tr("Caméra"), cameraCombo);

    dateLabel = new QLabel(export_timestamp.toString(QStringLiteral("yyyy-MM-dd")), formWidget);
    dateLabel->setObjectName(QStringLiteral("dateLabel"));
    form->addRow(tr("Date"), dateLabel);

    startTimeEdit = new QTimeEdit(export_timestamp.time(), formWidget);
    startTimeEdit->setObjectName(QStringLiteral("startTimeEdit"));
    startTimeEdit->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    set_field_policy(startTimeEdit);
    form->addRow(tr("Début"), startTimeEdit);

    endTimeEdit = new QTimeEdit(export_timestamp.time().addSecs(60), formWidget);
    endTimeEdit->setObjectName(QStringLiteral("endTimeEdit"));
    endTimeEdit->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    set_field_policy(endTimeEdit);
    form->addRow(tr("Fin"), endTimeEdit);

    auto* fileRow = new QHBoxLayout();
    fileNameEdit = new QLineEdit(formWidget);
    fileNameEdit->setObjectName(QStringLiteral("fileNameEdit"));
    set_field_policy(fileNameEdit);
    folderButton = new QToolButton(formWidget);
    folderButton->setObjectName(QStringLiteral("folderButton"));
    folderButton->setIcon(QIcon(kIcons + (light ? QStringLiteral("folder.svg") : QStringLiteral("folder_white.svg"))));
    folderButton->setIconSize(QSize(20, 20));
    folderButton->setStyleSheet(QStringLiteral("background-color: transparent; border: none;"));
    folderButton->setToolTip(tr("Choisir un répertoire"));
    folderButton->setAutoRaise(true);
    folderButton->setCursor(Qt::PointingHandCursor);
    fileRow->addWidget(fileNameEdit);
    fileRow->addWidget(folderButton);
    form->addRow(tr("Nom du fichier"), fileRow);

    formatCombo = new QComboBox(formWidget);
    formatCombo->setObjectName(QStringLiteral("formatCombo"));
    set_field_policy(formatCombo);
    formatCombo->addItems({tr("H.264 (.mp4)"), tr("H.265 (.mp4)"), tr("MJPEG (.avi)"), tr("VP9 (.webm)"),
                           tr("RAW (zrnova format)")});
    formatCombo->setCurrentIndex(0);
    form->addRow(tr("Format vidéo"), formatCombo);

    overlayCheck = new QCheckBox(tr("Incruster date et heure"), formWidget);
    overlayCheck->setObjectName(QStringLiteral("overlayCheck"));
    overlayCheck->setChecked(true);
    form->addRow(overlayCheck);

    overlaySizeCombo = new QComboBox(formWidget);
    overlaySizeCombo->setObjectName(QStringLiteral("overlaySizeCombo"));
    set_field_policy(overlaySizeCombo);
    overlaySizeCombo->addItems({tr("Petit"), tr("Moyen"), tr("Grand"), tr("XL")});
    overlaySizeCombo->setCurrentIndex(1);
    form->addRow(tr("Taille de l'incrustation"), overlaySizeCombo);

    auto* buttonWidget = new QWidget(formWidget);
    auto* buttonRow = new QHBoxLayout(buttonWidget);
    buttonRow->setContentsMargins(0, 0, 0, 0);
    buttonRow->addStretch();
    exportButton = new QPushButton(tr("Exporter"), buttonWidget);
    exportButton->setObjectName(QStringLiteral("exportButton"));
    exportButton->setFixedWidth(120);
    buttonRow->addWidget(exportButton);
    form->addRow(new QLabel(QString(), formWidget), buttonWidget);

    layout->addWidget(formWidget);

    connect(startTimeEdit, &QTimeEdit::timeChanged, this, &PopupExport::startTimeChanged);
    connect(folderButton, &QToolButton::clicked, this, &PopupExport::change_export_path);
    connect(exportButton, &QPushButton::clicked, this, &PopupExport::doExport);
    connect(cameraCombo, &QComboBox::currentTextChanged, this, &PopupExport::updateExportFilename);
    connect(startTimeEdit, &QTimeEdit::timeChanged, this, &PopupExport::updateExportFilename);
    connect(formatCombo, &QComboBox::currentIndexChanged, this, &PopupExport::updateExportFilename);
    connect(startTimeEdit, &QTimeEdit::timeChanged, this, &PopupExport::start_export_enabled);
    connect(endTimeEdit, &QTimeEdit::timeChanged, this, &PopupExport::start_export_enabled);

    start_export_enabled();
    updateExportFilename();
    adjustPopupWidthToFilename();
    adjustSize();
}

QStringList PopupExport::camera_names_from_files()
{
    camera_names = ZRFile::hash_cameras_list(day_directory, {});
    QStringList names;
    for (const QFileInfo& file : std::as_const(video_files)) {
        const QStringList parts = file.fileName().split(QLatin1Char('_'));
        if (parts.isEmpty() || parts.first().isEmpty())
            continue;
        QString name;
        if (!camera_names.isEmpty())
            name = camera_names.value(parts.first().toInt());
        if (name.isEmpty())
            name = QStringLiteral("CAMERA ") + parts.first();
        if (!names.contains(name))
            names << name;
    }
    return names;
}

QString PopupExport::default_export_filename(QString folder) const
{
    const ExportFormat format = find_export_format(formatCombo->currentText());
    QString camera = cameraCombo->currentText();
    camera.remove(QLatin1Char(' '));
    return QStringLiteral("%1/%2_%3_%4_%5%6")
        .arg(folder, camera, dateLabel->text(), startTimeEdit->time().toString(QStringLiteral("HHmmss")), format.tag,
             format.extension);
}

QString PopupExport::start_folder() const
{
    const QStringList docs = QStandardPaths::standardLocations(QStandardPaths::DocumentsLocation);
    return docs.isEmpty() ? QDir::homePath() : docs.first();
}

void PopupExport::updateExportFilename()
{
    fileNameEdit->setText(default_export_filename(last_dir.isEmpty() ? start_folder() : last_dir));
}

void PopupExport::startTimeChanged(QTime)
{
    updateExportFilename();
}

void PopupExport::change_export_path()
{
    const QString folder = last_dir.isEmpty() ? start_folder() : last_dir;
    const QString answer = QFileDialog::getSaveFileName(this, tr("Choix du chemin d'export"),
                                                        default_export_filename(folder), QString());
    if (answer.isEmpty())
        return;
    const QString path = apply_format_suffix(answer);
    fileNameEdit->setText(path);
    const QString dir = QFileInfo(path).absolutePath();
    if (!dir.isEmpty()) {
        last_dir = dir;
        QSettings settings(settings_organisation, settings_application);
        settings.setValue(kLastDirKey, last_dir);
    }
    adjustPopupWidthToFilename();
}

QString PopupExport::apply_format_suffix(QString path) const
{
    const ExportFormat format = find_export_format(formatCombo->currentText());
    const QFileInfo info(path);
    QString folder = info.absolutePath();
    if (folder.isEmpty())
        folder = QStringLiteral(".");
    QString base = info.completeBaseName();
    for (const QString& tag : known_format_tags()) {
        if (base.endsWith(QLatin1Char('_') + tag, Qt::CaseInsensitive)) {
            base.chop(tag.size() + 1);
            break;
        }
    }
    return folder + QLatin1Char('/') + base + QLatin1Char('_') + format.tag + format.extension;
}

QString PopupExport::reserve_free_path(const QString& path, const ExportFormat& format)
{
    const QFileInfo info(path);
    const QString folder = info.absolutePath();
    QString base = info.completeBaseName();
    const QString suffix = QLatin1Char('_') + format.tag;
    if (base.endsWith(suffix, Qt::CaseInsensitive))
        base.chop(suffix.size());
    QString candidate = path;
    for (int n = 1; n < 100000; ++n) {
        const QFileInfo info(candidate);
        if (!info.exists() && !info.isSymLink()) {
            QFile file(candidate);
            // NewOnly fails on a name that is taken, even by an export started a moment ago.
            if (file.open(QIODevice::NewOnly))
                return candidate;
            // Not taken, yet not writable: no other name in that folder will do better.
            if (!QFileInfo::exists(candidate) && !QFileInfo(candidate).isSymLink())
                return QString();
        }
        candidate = folder + QLatin1Char('/') + base + QLatin1Char('_') + QString::number(n) + suffix + format.extension;
    }
    return QString();
}

void PopupExport::adjustPopupWidthToFilename()
{
    const int advance = QFontMetrics(fileNameEdit->font()).horizontalAdvance(fileNameEdit->text());
    const int w = qBound(420, advance + 240, 2280);
    setMinimumWidth(w);
    resize(w, height());
}

void PopupExport::start_export_enabled()
{
    const QTime start = startTimeEdit->time();
    const QTime end = endTimeEdit->time();
    exportButton->setEnabled(start.isValid() && end.isValid() && start.msecsTo(end) > 0);
}

void PopupExport::getvalueChanged(int value)
{
    emit valueChanged(value);
}

void PopupExport::getendingsignal()
{
    emit endingsignal();
}

void PopupExport::get_copy_failures(int count)
{
    raw_failures = count;
}

void PopupExport::doExport()
{
    if (!error_popup) {
        error_popup = new export_error(this);
        connect(this, &PopupExport::error, error_popup, &export_error::error_parse);
    }
    if (!launch_export())
        write_log(kInfo + QStringLiteral("Export error "));
}

QString PopupExport::read_last_seek_timestamp(QString path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        write_log(QStringLiteral("Decoder :: Error Opening Seek File ") + path);
        return QString();
    }
    QString last;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine();
        const int colon = line.indexOf(':');
        if (colon > 0)
            last = QString::fromUtf8(line.left(colon)).trimmed();
    }
    return last;
}

QString PopupExport::find_file_for_time(QString timeText, bool must_contain)
{
    const int t = timeText.toInt();
    const int n = int(camera_files.size());
    for (int i = 0; i < n; ++i) {
        const QString base = camera_files.at(i).completeBaseName();
        const int start = base.section(QLatin1Char('_'), -1).toInt();
        if (i + 1 < n) {
            const int next = camera_files.at(i + 1).completeBaseName().section(QLatin1Char('_'), -1).toInt();
            if (start <= t && next > t)
                return base;
            continue;
        }
        const QString last = read_last_seek_timestamp(seekTablePathFor(camera_files.at(i).filePath()));
        const QDateTime lastTime = QDateTime::fromString(last, QStringLiteral("yyyyMMddHHmmsszzz"));
        const int end = lastTime.isValid() ? lastTime.time().toString(QStringLiteral("HHmmss")).toInt() : 0;
        if ((start <= t && end > t) || !must_contain)
            return base;
        return QString();
    }
    return QString();
}

bool PopupExport::launch_export()
{
    write_log(kInfo + QStringLiteral("do export"));
    QString path = apply_format_suffix(fileNameEdit->text());
    fileNameEdit->setText(path);

    const QTime start = startTimeEdit->time();
    const QTime end = endTimeEdit->time();
    if (!start.isValid()) {
        write_log(kError + QStringLiteral("begin export time INVALID."));
        emit error(-1);
        return false;
    }
    if (!end.isValid()) {
        write_log(kError + QStringLiteral("end export time INVALID."));
        emit error(-2);
        return false;
    }
    if (start.msecsTo(end) <= 0) {
        write_log(kError + QStringLiteral("begin time after end time"));
        emit error(-13);
        return false;
    }
    const QString startText = start.toString(QStringLiteral("HHmmss"));
    const QString endText = end.toString(QStringLiteral("HHmmss"));

    const QString current = cameraCombo->currentText();
    int id = cameraCombo->currentData(Qt::UserRole).toInt();
    if (!cameraCombo->currentData(Qt::UserRole).isValid())
        id = -1;
    if (id <= 0 && !camera_names.isEmpty())
        id = camera_names.key(current, -1);
    if (id == -1 && current.contains(QLatin1String("CAMERA")))
        id = QString(current).remove(QStringLiteral("CAMERA ")).toInt();
    camera_id = id;

    camera_files.clear();
    for (const QFileInfo& file : std::as_const(video_files)) {
        const QStringList parts = file.fileName().split(QLatin1Char('_'));
        if (camera_id == -1 && !parts.isEmpty())
            camera_id = parts.first().toInt();
        if (!parts.isEmpty() && parts.first().toInt() == camera_id)
            camera_files << file;
    }

    const QString beginBase = find_file_for_time(startText, true);
    if (beginBase.isEmpty()) {
        write_log(kInfo + QStringLiteral("begin file empty"));
        emit error(-1);
        return false;
    }
    const QString endBase = find_file_for_time(endText, false);
    if (endBase.isEmpty()) {
        write_log(kInfo + QStringLiteral("end file empty"));
        emit error(-2);
        return false;
    }
    QFileInfoList range;
    bool inside = false;
    for (const QFileInfo& file : std::as_const(camera_files)) {
        const QString base = file.completeBaseName();
        if (base == beginBase)
            inside = true;
        if (inside)
            range << file;
        if (base == endBase)
            inside = false;
    }

    write_log(kInfo + QStringLiteral("Create Exporter"));
    const ExportFormat format = find_export_format(formatCombo->currentText());
    QDir().mkpath(QFileInfo(path).absolutePath());

    if (format.codec == QLatin1String("raw")) {
        write_log(kInfo + QStringLiteral("raw exportation"));
        export_path = QFileInfo(path).path();
        raw_failures = 0;
        auto* raw = new RawExport();
        raw_exporter = raw;
        raw->set_destination(QFileInfo(path));
        raw->set_files(range);
        connect(raw, &RawExport::valueChanged, this, &PopupExport::getvalueChanged);
        connect(raw, &RawExport::copy_failures, this, &PopupExport::get_copy_failures);
        connect(raw, &RawExport::endingsignal, this, &PopupExport::getendingsignal);
        connect(raw, &QThread::finished, raw, &QObject::deleteLater);
        raw->start(QThread::InheritPriority);
    } else {
        // The default name is the same for the same range: an existing file is never replaced,
        // the export takes the next free name instead.
        const QString free = reserve_free_path(path, format);
        if (free.isEmpty()) {
            write_log(kError + QStringLiteral("no free file name :: ") + path);
            emit error(-9);
            return false;
        }
        if (free != path) {
            write_log(kInfo + QStringLiteral("file exists, exporting to ") + free);
            path = free;
            fileNameEdit->setText(path);
        }
        export_path = path;
        const bool overlay = overlayCheck->isChecked();
        const QString sizeText = overlaySizeCombo->currentText();
        QString size;
        if (sizeText.contains(QLatin1String("Petit")))
            size = QStringLiteral("small");
        else if (sizeText.contains(QLatin1String("Moyen")))
            size = QStringLiteral("normal");
        else if (sizeText.contains(QLatin1String("Grand")))
            size = QStringLiteral("large");
        else if (sizeText.contains(QLatin1String("XL")))
            size = QStringLiteral("extralarge");

        auto* ex = new ff_export();
        exporter = ex;
        ex->set_files(range);
        ex->set_start_time(startText);
        ex->set_end_time(endText);
        ex->set_camera_names(camera_names);
        ex->set_stream_id(stream_id);
        ex->set_encoder_parameters(export_path, format.codec, 2048, -1, -1, overlay, size);

        auto* row = new EncodeItem_Presentation(this, export_path);
        row->setType(QStringLiteral("zrplayer"));
        row->set_exporter(ex);
        // The file was created empty to hold its name: a failed export leaves no empty file.
        row->set_remove_empty_on_failure(true);

        auto* window = new Download_presentation();
        download_window = window;
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->setWindowTitle(tr("Téléchargement"));
        window->resize(1080, 768);
        window->add_item(row);
        window->show();
        window->raise();
        window->activateWindow();
    }
    close();
    return true;
}
