#include "widgetplayer/ZR_Player_presentation.h"

#include "ui_ZR_Player_presentation.h"

#include "app/DebugLevel.h"
#include "app/Http_singleton.h"
#include "app/Log.h"
#include "display/Canvas.h"
#include "export/PopupExport.h"
#include "media/ZRSeekTable.h"
#include "media/ZRStreamReadAndControl.h"
#include "platform/FileSystemRoot.h"
#include "player/AlarmViewer.h"
#include "player/IntegrityDialog.h"
#include "player/ZRPlayerInferfaceController.h"
#include "store/IntegrityCheck.h"
#include "store/StoreLayout.h"
#include "store/ZRFile.h"
#include "store/ZRTag.h"
#include "widgetplayer/AlarmItemDelegate.h"
#include "widgetplayer/AlarmModel.h"
#include "widgetplayer/TagItemDelegate.h"
#include "widgetplayer/TagsModel.h"
#include "widgetplayer/TreeProxyModel.h"
#include "widgetplayer/ZRTimeline.h"
#include "widgetplayer/ZRTimelinethread.h"
#include "widgetplayer/ZRVideoFileSystemModel.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QEasingCurve>
#include <QFontMetrics>
#include <QGraphicsOpacityEffect>
#include <QHeaderView>
#include <QTableView>
#include <QLabel>
#include <QMessageBox>
#include <QPropertyAnimation>
#include <QScrollArea>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>

namespace {

const QString kInfo = QStringLiteral("[INFO] Zrplayer Display :: ");
const QString kWarn = QStringLiteral("[WARN] Zrplayer Display :: ");
const QString kError = QStringLiteral("[ERROR] Zrplayer Display :: ");
// The timeline click lines carry the other spelling.
const QString kClick = QStringLiteral("[INFO] ZRPlayer Display :: ");

constexpr int kSecondsPerDay = 24 * 3600;

qint64 steady_ns()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

QString elapsed_ms_text(qint64 since_ns)
{
    return QString::number(double(steady_ns() - since_ns) / 1e6, 'g', 6);
}

// A time of day "HHmmss" (or "HH:mm:ss") as seconds of the day; -1 when it does not read.
// Seconds, not QTime arithmetic: a recording's end past midnight stays after its start.
int seconds_of_day(QString text)
{
    text.remove(QLatin1Char(':'));
    const QTime t = QTime::fromString(text, QStringLiteral("HHmmss"));
    return t.isValid() ? t.msecsSinceStartOfDay() / 1000 : -1;
}

QString hhmmss(int seconds)
{
    if (seconds < 0 || seconds >= kSecondsPerDay)
        return QString();
    return QTime::fromMSecsSinceStartOfDay(seconds * 1000).toString(QStringLiteral("HHmmss"));
}

// A recording's name fields: camera, date, start time (cut at its first ".").
bool name_parts(const QFileInfo& file, QString* camera, QString* date, QString* time)
{
    return splitRecordingName(file.fileName(), camera, date, time);
}

// A camera id text read as a whole number; -1 when it is not one.
int whole_number(const QString& text)
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    return ok ? v : -1;
}

// A recording still worth searching: its seek table exists, and a table that is empty
// belongs to a data file that is not empty.
bool searchable(const QFileInfo& file, const QString& operation)
{
    const QFileInfo seek(seekTablePathOf(file.filePath()));
    if (!seek.exists()) {
        write_log(kInfo + operation + QStringLiteral(" :: remove ") + file.filePath());
        return false;
    }
    const QFileInfo data(file.filePath());
    if (seek.size() < 1 && data.exists() && data.size() < 1) {
        write_log(kInfo + operation + QStringLiteral(" :: file") + data.fileName() + QStringLiteral(" size ")
                  + QString::number(data.size()));
        return false;
    }
    return true;
}

QList<QFileInfo> searchable_files(const QList<QFileInfo>& files, const QString& operation)
{
    QList<QFileInfo> kept;
    for (const QFileInfo& f : files)
        if (searchable(f, operation))
            kept.append(f);
    return kept;
}

void animate_opacity(QLabel* label, double from, double to, int ms, QEasingCurve::Type curve,
                     const std::function<void()>& done = {})
{
    auto* effect = new QGraphicsOpacityEffect(label);
    label->setGraphicsEffect(effect);
    auto* animation = new QPropertyAnimation(effect, "opacity");
    animation->setDuration(ms);
    animation->setStartValue(from);
    animation->setEndValue(to);
    animation->setEasingCurve(curve);
    if (done)
        QObject::connect(animation, &QPropertyAnimation::finished, label, done);
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

// Alarm and tag file names: camera_day_time[...] or camera_alarm_day_time (four parts).
bool split_entry_name(const QString& name, QString* camera, QString* day, QString* time)
{
    const QStringList parts = name.split(QLatin1Char('_'));
    if (parts.size() < 3)
        return false;
    const bool four = parts.size() == 4;
    *camera = parts.at(0);
    *day = parts.at(four ? 2 : 1);
    *time = parts.at(four ? 3 : 2);
    return true;
}

// A list's camera choice gets each camera once; the one asked for becomes the selected row.
void add_camera_choice(QStringList& choices, const QString& display_name, int file_camera, int camera_id,
                       int& selected)
{
    if (choices.contains(display_name))
        return;
    choices.append(display_name);
    if (camera_id >= 0 && camera_id == file_camera)
        selected = int(choices.size()) - 1;
}

void show_camera_choices(QComboBox* box, const QStringList& choices, int selected)
{
    box->clear();
    box->addItems(choices);
    if (selected != -1)
        box->setCurrentIndex(selected);
}

// The alarm and tag lists show one entry per row, as wide as the list, without grid or headers.
void show_vignette_list(QTableView* view, QAbstractItemModel* model, QAbstractItemDelegate* delegate,
                        int row_height)
{
    view->setModel(model);
    view->setItemDelegate(delegate);
    view->setShowGrid(false);
    view->horizontalHeader()->hide();
    view->verticalHeader()->hide();
    view->horizontalHeader()->setDefaultSectionSize(200);
    view->verticalHeader()->setDefaultSectionSize(row_height);
    view->horizontalHeader()->setStretchLastSection(true);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Construction and destruction

ZR_Player_presentation::ZR_Player_presentation(QWidget* parent)
    : QWidget(parent)
{
    ui = new Ui_ZR_Player_presentation();
    ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint
                   | Qt::WindowCloseButtonHint);
    DebugLevel::instance()->set_level(1);
    write_log(kInfo + QStringLiteral("construct"));

    display = new Canvas(this);
    display->set_stream_start(false);
    display->set_digital_zoom_enabled(true);
    display->set_external_feed();
    display->set_fullscreen_enabled(false);

    reader = new ZRStreamReadAndControl();
    controller = new ZRPlayerInferfaceController(nullptr);
    current_file = QStringLiteral("/");
    day_folder.clear();
    file_duration_secs = 60;

    ui->encodeprogress->hide();

    // 1 to 11
    connect(this, &ZR_Player_presentation::change_timestamp, reader, &ZRStreamReadAndControl::set_read_timestamp);
    connect(this, &ZR_Player_presentation::change_rate, reader, &ZRStreamReadAndControl::change_rate);
    connect(this, &ZR_Player_presentation::changeRate, this, &ZR_Player_presentation::rate_button);
    connect(reader, &ZRStreamReadAndControl::slidervalue, ui->slider,
            qOverload<int, QString>(&ZRSlidertimeline::setValue));
    connect(reader, &ZRStreamReadAndControl::setTime, this, &ZR_Player_presentation::setTime);
    connect(reader, &ZRStreamReadAndControl::set_next_file, this, &ZR_Player_presentation::set_next_file);
    connect(reader, &ZRStreamReadAndControl::set_previous_file, this, &ZR_Player_presentation::set_previous_file);
    // Automatic connection: the reader and the display share the GUI thread, so the picture is
    // copied during the emission.
    connect(reader, &ZRStreamReadAndControl::set_display_frame, display, &Canvas::displayFrame);
    // A press on the slider pauses through the window's state, so the buttons and the reader
    // agree on what plays.
    connect(ui->slider, &QSlider::sliderPressed, this, &ZR_Player_presentation::pause_button);
    connect(ui->slider, &ZRSlidertimeline::change_value, this, &ZR_Player_presentation::slider_send_click);
    connect(ui->slider, &ZRSlidertimeline::slider_move, this, &ZR_Player_presentation::setTime);

    current_time = QStringLiteral("00:00:00:000");
    ui->lbl_timestamp->setText(QStringLiteral("00:00:00:000"));
    ui->lbl_timestamp->setStyleSheet(QStringLiteral("color:white;"));

    ui->playButton->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    ui->playButton->setToolTip(QStringLiteral("Lecture"));
    ui->stopButton->setIcon(style()->standardIcon(QStyle::SP_MediaStop));
    ui->stopButton->setToolTip(QStringLiteral("Stop"));
    ui->forwardButton->setIcon(style()->standardIcon(QStyle::SP_MediaSkipForward));
    ui->forwardButton->setToolTip(QStringLiteral("Frame suivante"));
    ui->backwardButton->setIcon(style()->standardIcon(QStyle::SP_MediaSkipBackward));
    ui->backwardButton->setToolTip(QStringLiteral("Frame précédente"));
    ui->snapshotButton->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    ui->snapshotButton->setToolTip(QStringLiteral("Enregistrer l'image en cours"));

    for (int i = 1; i <= 3; ++i)
        ui->tabWidget->setTabEnabled(i, false);
    for (QWidget* w : {static_cast<QWidget*>(ui->slider), static_cast<QWidget*>(ui->playButton),
                       static_cast<QWidget*>(ui->stopButton), static_cast<QWidget*>(ui->forwardButton),
                       static_cast<QWidget*>(ui->backwardButton), static_cast<QWidget*>(ui->snapshotButton),
                       static_cast<QWidget*>(ui->rateBox)})
        w->setEnabled(false);

    // 12 to 23
    connect(ui->playButton, &QPushButton::clicked, this, &ZR_Player_presentation::play_pause_button_pressed);
    connect(this, &ZR_Player_presentation::pause, this, &ZR_Player_presentation::pause_button);
    connect(this, &ZR_Player_presentation::play, this, &ZR_Player_presentation::play_button);
    connect(ui->stopButton, &QPushButton::clicked, this, &ZR_Player_presentation::stop_button);
    connect(ui->rateBox, &QComboBox::activated, this, &ZR_Player_presentation::updateRate);
    connect(ui->forwardButton, &QPushButton::clicked, this, &ZR_Player_presentation::next_frame_button);
    connect(ui->forwardButton, &QPushButton::pressed, this, &ZR_Player_presentation::next_frame_button_pressed);
    connect(ui->forwardButton, &QPushButton::released, this, &ZR_Player_presentation::set_frame_button_released);
    connect(ui->backwardButton, &QPushButton::clicked, this, &ZR_Player_presentation::previous_frame_button);
    connect(ui->backwardButton, &QPushButton::pressed, this, &ZR_Player_presentation::previous_frame_button_pressed);
    connect(ui->backwardButton, &QPushButton::released, this, &ZR_Player_presentation::set_frame_button_released);
    connect(ui->snapshotButton, &QPushButton::clicked, this, &ZR_Player_presentation::snapshot_button);

    const QList<QPair<QString, double>> rates{{QStringLiteral("-8.0x"), -8.0}, {QStringLiteral("-4.0x"), -4.0},
                                              {QStringLiteral("-2.0x"), -2.0}, {QStringLiteral("-1.0x"), -1.0},
                                              {QStringLiteral("1.0x"), 1.0},   {QStringLiteral("2.0x"), 2.0},
                                              {QStringLiteral("4.0x"), 4.0},   {QStringLiteral("8.0x"), 8.0}};
    for (const auto& r : rates)
        ui->rateBox->addItem(r.first, r.second);
    ui->rateBox->setCurrentIndex(4);

    ui->displayLayout->addWidget(display);

    ui->exportbutton->setText(QStringLiteral("Export vidéo"));
    ui->exportbutton->setEnabled(false);
    ui->exportbutton->setStyleSheet(QStringLiteral("color: white;"));
    connect(ui->exportbutton, &QPushButton::clicked, this, &ZR_Player_presentation::export_slot);
    ui->integrityButton->setText(QStringLiteral("Vérification de l'intégrité"));
    ui->integrityButton->setEnabled(false);
    ui->integrityButton->setStyleSheet(QStringLiteral("color: white;"));
    connect(ui->integrityButton, &QPushButton::clicked, this, &ZR_Player_presentation::check_integrity_slot);
    connect(&integrity_run, &IntegrityRun::dialog_finished, this, &ZR_Player_presentation::integrity_check_done);

    file_model = new ZRVideoFileSystemModel(this);
    tree_proxy = new TreeProxyModel();
    tree_proxy->setFilterCaseSensitivity(Qt::CaseInsensitive);
    file_model->setNameFilters({QStringLiteral("*.zrvideo")});
    file_model->setNameFilterDisables(false);
    file_model->setRootPath(zrplatform::file_system_root());
    tree_proxy->setFilterKeyColumn(0);
    tree_proxy->setDynamicSortFilter(true);
    tree_proxy->setSourceModel(file_model);
    ui->tree->setModel(tree_proxy);
    for (int c = 1; c <= 3; ++c)
        ui->tree->hideColumn(c);
    ui->tree->setIndentation(7);
    ui->tree->setSortingEnabled(true);
    ui->tree->sortByColumn(0, Qt::AscendingOrder);

    // 26 to 29
    connect(ui->tree, &QTreeView::clicked, this, &ZR_Player_presentation::tree_clicked);
    connect(ui->tree, &QTreeView::doubleClicked, this, &ZR_Player_presentation::tree_clicked);
    connect(ui->tree, &QTreeView::clicked, this, &ZR_Player_presentation::tree_entered);
    connect(ui->tree, &QTreeView::expanded, this, &ZR_Player_presentation::tree_entered);
    ui->tree->header()->hide();
    ui->tree->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    const QModelIndex home = tree_proxy->mapFromSource(file_model->index(QDir::homePath()));
    if (home.isValid()) {
        expand_parents(ui->tree, home.parent());
        ui->tree->expand(home.parent());
    }
    ui->tree->expand(home);
    ui->tree->scrollTo(home, QAbstractItemView::EnsureVisible);
    ui->tree->setCurrentIndex(home);

    connect(ui->tabWidget, &QTabWidget::currentChanged, this, &ZR_Player_presentation::tab_changed);

    setWindowTitle(QStringLiteral("ZRPlayer ") + Http_singleton::instance()->get_version());

    timelines_tab_layout = nullptr;
    timelines_widget = nullptr;
    timelines_layout = nullptr;
    for (int h = 0; h < 24; ++h)
        hour_labels << QStringLiteral("%1:00:00 - %2:00:00")
                           .arg(h, 2, 10, QLatin1Char('0'))
                           .arg((h + 1) % 24, 2, 10, QLatin1Char('0'));

    ui->video_stream_box->clear();
    display->setGeometry(ui->displayLayout->geometry());

    camera_combobox = new QComboBox();
    current_camera_id = QStringLiteral("-1");
    time_received = false;
    ui->slider->clear_all_minutes();

    connect(ui->alarm_combobox, &QComboBox::activated, this,
            &ZR_Player_presentation::set_alarm_list_from_index);
    connect(ui->tags_comboBox, &QComboBox::activated, this,
            &ZR_Player_presentation::set_tags_list_from_index);

    // The day's index rebuilt at this window's request: its lists are loaded again.
    connect(controller, &ZRPlayerInferfaceController::indexGenerated, this, &ZR_Player_presentation::day_index_rebuilt);
    connect(controller, &ZRPlayerInferfaceController::indexFailed, this, &ZR_Player_presentation::day_index_failed);
}

ZR_Player_presentation::~ZR_Player_presentation()
{
    write_log(kInfo + QStringLiteral("destruct"));
    disconnect(controller, nullptr, this, nullptr);
    if (fillers_running > 0) {
        QApplication::restoreOverrideCursor();
        fillers_running = 0;
    }
    if (frame_repeat_timer) {
        frame_repeat_timer->stop();
        delete frame_repeat_timer;
        frame_repeat_timer = nullptr;
    }

    // A dialog with a raw copy running tells its copy to stop; the copy goes once it has ended.
    delete export_dialog.data();

    write_log(kInfo + QStringLiteral("delete layout"));
    if (timelines_tab_layout)
        timelines_tab_layout->deleteLater();
    timelines_tab_layout = nullptr;
    disconnect(reader, nullptr, this, nullptr);
    disconnect(reader, nullptr, display, nullptr);
    delete reader;
    reader = nullptr;
    write_log(kInfo + QStringLiteral("delete tabs"));
    if (timelines_widget)
        timelines_widget->deleteLater();
    timelines_widget = nullptr;

    // The views let go of the models before they go.
    ui->tree->setModel(nullptr);
    ui->listVignettes_view->setModel(nullptr);
    ui->listVignettes_view->setItemDelegate(nullptr);
    ui->listTags_view->setModel(nullptr);
    ui->listTags_view->setItemDelegate(nullptr);
    delete tree_proxy;
    tree_proxy = nullptr;
    delete file_model;
    file_model = nullptr;
    delete alarm_model;
    delete alarm_delegate;
    delete tags_model;
    delete tags_delegate;
    alarm_model = nullptr;
    alarm_delegate = nullptr;
    tags_model = nullptr;
    tags_delegate = nullptr;
    // Never placed in the timelines tab: the window owns it alone.
    if (camera_combobox && !camera_combobox->parent())
        delete camera_combobox;
    camera_combobox = nullptr;
    delete controller;
    controller = nullptr;

    write_log(kInfo + QStringLiteral("delete ui"));
    delete ui;
    ui = nullptr;
    write_log(kInfo + QStringLiteral("destruct done"));
}

void ZR_Player_presentation::set_play_state(int state)
{
    if (play_state == state)
        return;
    if (state < 0 || state > 2)
        return;
    play_state = state;
    const bool active = state != 0;
    ui->stopButton->setEnabled(active);
    ui->snapshotButton->setEnabled(active);
    ui->playButton->setIcon(style()->standardIcon(state == 1 ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
}

ZRTimeline* ZR_Player_presentation::find_timeline_for_time(QString time)
{
    const int t = seconds_of_day(time);
    if (t < 0)
        return nullptr;
    for (auto it = timelines.cbegin(); it != timelines.cend(); ++it) {
        QString key = it.key();
        key.remove(QLatin1Char(':'));
        const QStringList ends = key.split(QStringLiteral(" - "));
        if (ends.size() != 2)
            continue;
        const int start = seconds_of_day(ends.at(0));
        const int end = seconds_of_day(ends.at(1));
        if (start < 0 || end < 0)
            continue;
        if ((start <= t && t < end) || (start / 3600 == 23 && t >= start))
            return it.value();
    }
    return nullptr;
}

void ZR_Player_presentation::expand_parents(QTreeView* tree, QModelIndex index)
{
    if (!index.isValid())
        return;
    expand_parents(tree, index.parent());
    tree->expand(index.parent());
}

PopupExport* ZR_Player_presentation::get_export_dialog() const
{
    return export_dialog.data();
}

void ZR_Player_presentation::open_button() {}

void ZR_Player_presentation::tree_clicked(QModelIndex) {}

// ---------------------------------------------------------------------------------------------
// Recording tree, day and cameras

void ZR_Player_presentation::tree_entered(QModelIndex index)
{
    const QString name = tree_proxy->data(index, ZRVideoFileSystemModel::DateTimeRole).toString();
    const QDate date = QDate::fromString(name, QStringLiteral("yyyy-MM-dd"));

    auto build_path = [this](QModelIndex i) {
        QString path;
        while (i.isValid()) {
            const QString part = tree_proxy->data(i, ZRVideoFileSystemModel::DateTimeRole).toString();
            if (part.isEmpty())
                break;
            path.prepend(part + QLatin1Char('/'));
            i = i.parent();
        }
        // The root's own name is "/": one separator, not two.
        return QDir::cleanPath(path) + QLatin1Char('/');
    };

    if (date.isValid()) {
        write_log(kInfo + QStringLiteral("tree entered :: valid datetime"));
        selected_date = date;
        day_folder = build_path(index);
        if (day_folder.contains(QLatin1String(":)"))) {
            day_folder.remove(0, day_folder.indexOf(QLatin1Char('(')) + 1);
            day_folder.remove(day_folder.indexOf(QLatin1Char(')')), 1);
            write_log(kInfo + QStringLiteral("tree entered :: directory ") + day_folder);
        }
        ui->exportbutton->setEnabled(true);
        ui->integrityButton->setEnabled(true);
        current_camera_id = QStringLiteral("-1");
        write_log(kInfo + QStringLiteral("tree entered :: clear all media list"));
        controller->clear_day_video_list();
        controller->clear_day_alarm_list();
        controller->clear_day_timestamp_list();
        controller->clear_day_audio_list();
        ui->tabWidget->setCurrentIndex(1);
        for (int i = 1; i <= 3; ++i)
            ui->tabWidget->setTabEnabled(i, true);
        // Enabling a disabled tab may move the current one: the day's tab is the timelines.
        ui->tabWidget->setCurrentIndex(1);
        for (QWidget* w : {static_cast<QWidget*>(ui->slider), static_cast<QWidget*>(ui->playButton),
                           static_cast<QWidget*>(ui->stopButton), static_cast<QWidget*>(ui->forwardButton),
                           static_cast<QWidget*>(ui->backwardButton), static_cast<QWidget*>(ui->snapshotButton),
                           static_cast<QWidget*>(ui->rateBox)})
            w->setEnabled(true);
    } else if (controller->is_zrnova_directory(name)) {
        write_log(kInfo + QStringLiteral("tree entered :: directory ") + build_path(index));
    } else {
        day_folder.clear();
        ui->exportbutton->setEnabled(false);
        ui->integrityButton->setEnabled(false);
    }
}

void ZR_Player_presentation::combox_index_changed(QString path)
{
    write_log(kInfo.trimmed() + QStringLiteral("combox_index_changed : ") + path);
    file_model->setRootPath(path);
    QString text = path;
    text.remove(QLatin1Char('/'));
    const QModelIndexList hits = tree_proxy->match(tree_proxy->index(0, 0, QModelIndex()), Qt::DisplayRole, text, 1,
                                                   Qt::MatchStartsWith | Qt::MatchWrap);
    write_log(kInfo.trimmed() + QStringLiteral("size : ") + QString::number(hits.size()));
    if (!hits.isEmpty()) {
        write_log(kInfo.trimmed() + QStringLiteral("root index col: ") + QString::number(hits.first().column())
                  + QStringLiteral(" + row : ") + QString::number(hits.first().row()));
        ui->tree->setRootIndex(hits.first());
    }
}

void ZR_Player_presentation::tab_changed(int index)
{
    write_log(kInfo + QStringLiteral("tab changed :: ") + QString::number(index));
    switch (index) {
    case 2:
        write_log(kInfo + QStringLiteral("tab changed :: ALARMS :: current camera id ") + current_camera_id);
        if (!current_camera_id.isEmpty())
            set_alarm_list_from_cameraid(current_camera_id.toInt());
        else
            set_alarm_list_from_index(-1);
        break;
    case 3:
        write_log(kInfo + QStringLiteral("tab changed :: TAGS :: current camera id ") + current_camera_id);
        if (!current_camera_id.isEmpty())
            set_tags_list_from_cameraid(current_camera_id.toInt());
        else
            set_tags_list_from_index(-1);
        break;
    case 0:
        remove_timelines();
        break;
    case 1:
        write_log(kInfo + QStringLiteral("tab changed :: REC :: current camera id  ") + current_camera_id);
        build_timelines();
        break;
    default:
        break;
    }
}

void ZR_Player_presentation::remove_timelines()
{
    if (!timelines_tab_layout || !timelines_widget)
        return;
    // The camera choice outlives the area: it is taken out before the area goes.
    if (camera_combobox) {
        timelines_tab_layout->removeWidget(camera_combobox);
        camera_combobox->setParent(nullptr);
    }
    const QObjectList widget_children = timelines_widget->children();
    for (QObject* child : widget_children)
        delete child;
    // The scroll area holds the timelines' container; the layout goes with the page's layout.
    while (QLayoutItem* item = timelines_tab_layout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    delete ui->tab_3->layout();
    timelines_tab_layout = nullptr;
    timelines_widget = nullptr;
    timelines_layout = nullptr;
    timelines.clear();
}

void ZR_Player_presentation::build_timelines()
{
    if (timelines_tab_layout || timelines_widget)
        return;
    init_day_cameras();
    if (!cameras.isEmpty()) {
        QStringList names;
        for (auto it = cameras.cbegin(); it != cameras.cend(); ++it)
            if (!it.value().isEmpty() && !names.contains(it.value()))
                names << it.value();
        if (!names.isEmpty()) {
            camera_combobox->clear();
            camera_combobox->addItems(names);
        }
    } else {
        // Another day's cameras would name recordings this day does not hold.
        camera_combobox->clear();
    }
    if (current_camera_id == QLatin1String("-1") && !cameras.isEmpty())
        current_camera_id = QString::number(cameras.cbegin().key());
    minute_diff = 1;
    load_day_lists();
    const QList<QFileInfo> video = controller->get_day_video_list();
    const QList<QFileInfo> audio = controller->get_day_audio_list();
    if (!video.isEmpty())
        init_timelines(video, current_camera_id.toInt(), minute_diff);
    else if (!audio.isEmpty())
        init_timelines(audio, current_camera_id.toInt(), minute_diff);
    stop_button();
}

void ZR_Player_presentation::load_day_lists()
{
    // No day chosen: nothing to list (an empty path would name the working folder).
    if (day_folder.isEmpty())
        return;
    // One rebuild per day shown: a day whose index stays stale after it (a day without video)
    // is listed as it is rather than rebuilt again and again.
    const bool allow_rebuild = rebuilding_day.isEmpty() && day_folder != indexed_day;
    if (controller->init_day_video_list(day_folder, allow_rebuild))
        rebuilding_day = day_folder;
}

void ZR_Player_presentation::day_index_rebuilt()
{
    if (rebuilding_day.isEmpty())
        return;
    const QString rebuilt = rebuilding_day;
    rebuilding_day.clear();
    indexed_day = rebuilt;
    if (rebuilt != day_folder)
        return;
    write_log(kInfo + QStringLiteral("day index rebuilt :: ") + rebuilt);
    load_day_lists();
    // What the open tab shows comes from the fresh lists.
    switch (ui->tabWidget->currentIndex()) {
    case 1:
        remove_timelines();
        build_timelines();
        break;
    case 2:
    case 3:
        tab_changed(ui->tabWidget->currentIndex());
        break;
    default:
        break;
    }
}

void ZR_Player_presentation::day_index_failed()
{
    indexed_day = rebuilding_day;
    rebuilding_day.clear();
}

void ZR_Player_presentation::init_day_cameras()
{
    write_log(kInfo + QStringLiteral("init day cameras"));
    cameras.clear();
    if (day_folder.isEmpty())
        return;
    const QFileInfoList listed =
        QDir(day_folder).entryInfoList({QStringLiteral("*.zrnfo")}, QDir::Files, QDir::Name);
    int others = 0;
    for (const QFileInfo& f : listed) {
        if (f.fileName().contains(QLatin1String("index"))) {
            write_log(kInfo + QStringLiteral("init day cameras :: zrnfo index path ") + f.filePath());
            cameras = ZRFile::check_and_parse_nfo_file(f, cameras);
        } else {
            ++others;
        }
    }
    if (!cameras.isEmpty() && cameras.size() == others)
        return;
    for (const QFileInfo& f : listed) {
        write_log(kInfo + QStringLiteral("init day cameras :: zrnfo path ") + f.filePath());
        cameras = ZRFile::check_and_parse_nfo_file(f, cameras);
    }
    if (cameras.isEmpty()) {
        const QList<QFileInfo> old = controller->zrnfo_with_multiple_directory(day_folder);
        write_log(kInfo + QStringLiteral("init day cameras :: using old method. ZRNfo count ")
                  + QString::number(old.size()));
        for (const QFileInfo& f : old)
            cameras = ZRFile::read_camera_names_file(f, cameras);
    }
    if (!cameras.isEmpty())
        ZRFile::create_zrnfo_index_file(QFileInfo(day_folder + QStringLiteral("/index.zrnfo")), cameras);
}

// ---------------------------------------------------------------------------------------------
// Transport

void ZR_Player_presentation::play_pause_button_pressed()
{
    if (play_state == 0 || play_state == 2)
        emit play();
    else if (play_state == 1)
        emit pause();
}

void ZR_Player_presentation::play_button()
{
    if (play_state == 2) {
        reader->toggle_pause();
        set_play_state(1);
    } else if (play_state == 0 && !chosen_stream().isEmpty()) {
        if (!reader)
            write_log(kError + QStringLiteral("play button :: global reader is null"));
    }
}

void ZR_Player_presentation::pause_button()
{
    if (play_state != 1)
        return;
    reader->toggle_pause();
    set_play_state(2);
}

void ZR_Player_presentation::stop_button()
{
    if (reader)
        reader->stop();
    if (display)
        display->set_disconnected(true);
    ui->lbl_timestamp->setText(QStringLiteral("00:00:00:000"));
    current_time = QStringLiteral("00:00:00:000");
    ui->slider->setValue(0, QStringLiteral("00:00:00:000"));
    set_play_state(0);
}

void ZR_Player_presentation::next_frame_button()
{
    reader->read_and_display_next_frame(true);
}

void ZR_Player_presentation::previous_frame_button()
{
    reader->read_and_display_previous_frame(true);
}

void ZR_Player_presentation::next_frame_button_pressed()
{
    pause_button();
    if (frame_repeat_timer) {
        frame_repeat_timer->stop();
        frame_repeat_timer->deleteLater();
    }
    frame_repeat_timer = new QTimer(this);
    connect(frame_repeat_timer, &QTimer::timeout, this, &ZR_Player_presentation::next_frame_button);
    frame_repeat_timer->start(250);
}

void ZR_Player_presentation::previous_frame_button_pressed()
{
    pause_button();
    if (frame_repeat_timer) {
        frame_repeat_timer->stop();
        frame_repeat_timer->deleteLater();
    }
    frame_repeat_timer = new QTimer(this);
    connect(frame_repeat_timer, &QTimer::timeout, this, &ZR_Player_presentation::previous_frame_button);
    frame_repeat_timer->start(250);
}

void ZR_Player_presentation::set_frame_button_released()
{
    if (!frame_repeat_timer)
        return;
    frame_repeat_timer->stop();
    frame_repeat_timer->deleteLater();
    frame_repeat_timer = nullptr;
}

double ZR_Player_presentation::current_rate() const
{
    return ui->rateBox->currentData(Qt::UserRole).toDouble();
}

void ZR_Player_presentation::updateRate()
{
    write_log(kInfo + QStringLiteral("updateRate"));
    emit changeRate(current_rate());
}

void ZR_Player_presentation::rate_button(double rate)
{
    set_play_state(1);
    emit change_rate(rate);
}

void ZR_Player_presentation::setTime(QTime time)
{
    const QString text = time.toString(QStringLiteral("HH:mm:ss:zzz"));
    ui->lbl_timestamp->setText(text);
    current_time = text;
    time_received = true;
}

// ---------------------------------------------------------------------------------------------
// Snapshots, export, integrity, alarm image

void ZR_Player_presentation::snapshot_button()
{
    if (!display)
        return;
    const QImage image = display->get_snapshot(QString(), QString());
    auto* viewer = new AlarmViewer(image, display->get_timestamp() + QStringLiteral(".jpg"));
    viewer->show();
}

void ZR_Player_presentation::snapshot_full_button()
{
    if (!display)
        return;
    const QImage image = display->get_snapshot_full(QString(), QString());
    auto* viewer = new AlarmViewer(image, display->get_timestamp() + QStringLiteral(".jpg"));
    viewer->show();
}

void ZR_Player_presentation::export_slot()
{
    write_log(kInfo + QStringLiteral("export :: ") + day_folder);
    const QString frame_time = display ? display->get_timestamp() : QString();
    write_log(kInfo + QStringLiteral("export ::  timestamp ") + frame_time);
    const QString stream = chosen_stream();
    if (!QDateTime::fromString(frame_time, QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")).isValid())
        return;
    // A dialog whose raw copy still runs stays the one this window follows: it is shown again
    // rather than replaced. One that is done goes.
    if (export_dialog) {
        if (export_dialog->is_raw_running()) {
            export_dialog->show();
            export_dialog->raise();
            return;
        }
        export_dialog->deleteLater();
        export_dialog = nullptr;
    }
    export_dialog = new PopupExport(controller->get_day_video_list(), current_camera_id.toInt(), stream,
                                    export_stream_list, day_folder, frame_time);
    connect(export_dialog, &PopupExport::valueChanged, this, &ZR_Player_presentation::set_progress);
    connect(export_dialog, &PopupExport::endingsignal, this, &ZR_Player_presentation::get_export_endingsignal);
    export_dialog->show();
}

void ZR_Player_presentation::set_progress(int percent)
{
    auto* dialog = qobject_cast<PopupExport*>(sender());
    if (!dialog)
        dialog = export_dialog.data();
    ui->encodeprogress->show();
    ui->encodeprogress->setFormat((dialog ? dialog->get_export_path() : QString()) + QStringLiteral("  [")
                                  + QString::number(percent) + QStringLiteral("%]"));
    ui->encodeprogress->setValue(percent);
    ui->exportbutton->setEnabled(false);
}

void ZR_Player_presentation::get_export_endingsignal()
{
    // The dialog whose copy ended; it goes once its own signal has returned.
    auto* dialog = qobject_cast<PopupExport*>(sender());
    if (!dialog)
        dialog = export_dialog.data();
    ui->encodeprogress->hide();
    if (dialog) {
        dialog->closeall();
        if (dialog == export_dialog)
            export_dialog = nullptr;
        dialog->deleteLater();
    }
    ui->exportbutton->setEnabled(true);
    QMessageBox box(QMessageBox::Information, QStringLiteral("Information"),
                    QStringLiteral("Votre exportation est terminée."));
    box.exec();
}

void ZR_Player_presentation::check_integrity_slot()
{
    if (integrity_run.dialog())
        return;
    integrity_run.start(day_folder, day_folder, selected_date.toString(QStringLiteral("yyyy-MM-dd")), this);
}

void ZR_Player_presentation::integrity_check_done()
{
    write_log(kInfo + QStringLiteral("integrity check done"));
    integrity_run.end();
}

void ZR_Player_presentation::open_alarm_popup(QModelIndex index)
{
    write_log(kInfo.trimmed() + QStringLiteral("open_alarm_popup"));
    // A tag has no picture; only the alarm list's own rows open the viewer.
    if (qobject_cast<TagItemDelegate*>(sender()))
        return;
    if (!alarm_model || !index.isValid() || index.row() >= alarm_model->rowCount())
        return;
    auto* viewer = new AlarmViewer(alarm_model->get_vignette(index.row()));
    viewer->show();
}

void ZR_Player_presentation::end_displayer()
{
    if (!display)
        return;
    ui->displayLayout->removeWidget(display);
    disconnect(reader, nullptr, display, nullptr);
    delete display;
    display = nullptr;
}

// ---------------------------------------------------------------------------------------------
// File selection, seeking and stream choice

QString ZR_Player_presentation::chosen_stream() const
{
    QString text = ui->video_stream_box->currentText();
    if (text.contains(QLatin1String("Video ")))
        text.remove(QStringLiteral("Video "));
    return text;
}

void ZR_Player_presentation::fill_stream_choice_from(const QString& data_file)
{
    if (ui->video_stream_box->count() > 0)
        return;
    const ZRSeekTable::FileResult table = ZRSeekTable::parse_file(seekTablePathOf(data_file), QString());
    for (QString id : table.streams) {
        write_log(kInfo + QStringLiteral("change camera :: id streams found :: ") + id);
        id.remove(QStringLiteral("video"));
        ui->video_stream_box->addItem(QStringLiteral("Video ") + id);
    }
}

int ZR_Player_presentation::camera_id_for_text(const QString& text) const
{
    for (auto it = cameras.cbegin(); it != cameras.cend(); ++it)
        if (it.value() == text)
            return it.key();
    if (text.contains(QLatin1String("CAMERA"))) {
        QString rest = text;
        rest.remove(QStringLiteral("CAMERA "));
        return whole_number(rest);
    }
    return -1;
}

QString ZR_Player_presentation::camera_display_name(int id) const
{
    const QString name = cameras.value(id);
    return name.isEmpty() ? QStringLiteral("CAMERA ") + QString::number(id) : name;
}

QList<QFileInfo> ZR_Player_presentation::camera_video_files(const QString& camera) const
{
    const int wanted = whole_number(camera);
    QList<QFileInfo> list;
    for (const QFileInfo& f : controller->get_day_video_list()) {
        QString c, d, t;
        if (name_parts(f, &c, &d, &t) && wanted >= 0 && whole_number(c) == wanted)
            list.append(f);
    }
    std::stable_sort(list.begin(), list.end(),
                     [](const QFileInfo& a, const QFileInfo& b) { return a.fileName() < b.fileName(); });
    return list;
}

void ZR_Player_presentation::open_in_reader(const QFileInfo& file, const QString& stream)
{
    // As the main window's controller opens a recording: the reader gets the camera's files
    // of the day, the display a fresh stream, then play starts.
    QString camera, date, time;
    name_parts(file, &camera, &date, &time);
    const QList<QFileInfo> files = camera_video_files(camera);
    if (!reader->init_displayer_for_stream(QFileInfo(seekTablePathFor(file.filePath())), stream, files)) {
        write_log(kError + QStringLiteral("change camera :: init decoder failed :: ") + file.filePath());
        return;
    }
    if (display) {
        display->set_stream_start(true);
        display->set_overlay_enabled(true);
        display->set_text_size(QStringLiteral("normal"));
        display->set_camera_label(camera_display_name(whole_number(camera)));
    }
    write_log(kInfo + QStringLiteral("set_actual_zrvideo_file  ") + file.filePath());
    actual_file = file.filePath();
    write_log(kInfo + QStringLiteral("set_actual_zrvideo_file :: setActualCam :: ") + actual_file);
    set_play_state(1);
    reader->read_forward();
}

void ZR_Player_presentation::change_camera(QFileInfo file)
{
    write_log(kInfo + QStringLiteral("change camera :: ") + file.filePath());
    current_file = file.filePath();
    if (current_file.isEmpty()
        || (!current_file.contains(QLatin1String(".zrvideo")) && !current_file.contains(QLatin1String(".zraudio"))))
        return;

    bool camera_changed = false;
    const QStringList parts = file.fileName().split(QLatin1Char('_'));
    const QString part0 = parts.value(0);
    if (!parts.isEmpty() && !part0.isEmpty()) {
        if (part0 != current_camera_id) {
            current_camera_id = part0;
            camera_changed = true;
            write_log(kInfo + QStringLiteral("change camera :: current_camera_id ") + current_camera_id);
        }
        const int file_camera = whole_number(part0);
        const int chosen = camera_id_for_text(camera_combobox->currentText());
        if (chosen != file_camera) {
            // Ids compare as whole numbers: camera 1 is not "CAMERA 12".
            for (int i = 0; i < camera_combobox->count(); ++i) {
                const QString item = camera_combobox->itemText(i);
                write_log(kInfo + QStringLiteral("change camera :: camera_combobox->itemText(i) + ") + item);
                if (cameras.isEmpty()) {
                    if (camera_id_for_text(item) == file_camera && file_camera >= 0) {
                        write_log(kInfo + QStringLiteral("change camera :: camera_combobox set index ")
                                  + QString::number(i));
                        camera_combobox->setCurrentIndex(i);
                        change_timelines_from_combobox(i);
                    }
                } else {
                    write_log(kInfo + QStringLiteral("change camera :: with HASH"));
                    if (camera_id_for_text(item) == file_camera && file_camera >= 0) {
                        write_log(kInfo + QStringLiteral("change camera :: with HASH :: camera_combobox set index ")
                                  + QString::number(i));
                        camera_combobox->setCurrentIndex(i);
                        change_timelines_from_combobox(i);
                    }
                }
            }
        }
    }

    // With recordings minutes apart the filler may have read no seek table: the chosen
    // file's own table names the streams.
    fill_stream_choice_from(current_file);
    const QString stream = chosen_stream();
    if (stream.isEmpty())
        return;

    if (!camera_changed && reader && reader->get_idstream() == stream) {
        write_log(kInfo + QStringLiteral("change camera :: continue decoding :: filename ") + current_file);
        if (reader->continue_read(current_file, stream, true, QStringLiteral("next"))) {
            write_log(kInfo + QStringLiteral("set_actual_zrvideo_file  ") + file.filePath());
            if (file.filePath().split(QLatin1Char('_')).size() > 1) {
                actual_file = file.filePath();
                write_log(kInfo + QStringLiteral("set_actual_zrvideo_file :: setActualCam :: ") + file.filePath());
            }
            set_play_state(1);
        }
        return;
    }
    if (play_state == 1)
        stop_button();
    if (display)
        display->set_ending();
    write_log(kInfo + QStringLiteral("change camera :: init decoder :: ") + current_file);
    if (!reader) {
        write_log(kError + QStringLiteral("change camera :: global reader is null"));
        return;
    }
    open_in_reader(file, stream);
}

void ZR_Player_presentation::set_timestamp(QModelIndex index)
{
    if (index.column() != 0)
        return;
    QString stamp, date, time, camera_id;
    QFileInfo file;
    QObject* from = sender();
    if (qobject_cast<AlarmItemDelegate*>(from) && alarm_model && index.row() < alarm_model->rowCount()) {
        const Vignette v = alarm_model->get_vignette(index.row());
        stamp = v.timestamp();
        date = v.date;
        time = v.time;
        camera_id = v.camera_id;
        file = v.file_info;
    } else if (qobject_cast<TagItemDelegate*>(from) && tags_model && index.row() < tags_model->rowCount()) {
        const Vignette v = tags_model->get_vignette(index.row());
        stamp = v.timestamp();
        file = v.file_info;
    }
    if (stamp.isEmpty()) {
        write_log(kError + QStringLiteral("set_timestamp  :: failed"));
        return;
    }
    write_log(kInfo + QStringLiteral("set_timestamp  :: timestamp      ") + stamp);
    write_log(kInfo + QStringLiteral("set_timestamp  :: video file     ") + actual_file);
    const QString seek_time = QDateTime::fromString(stamp, QStringLiteral("yyyyMMddHHmmss"))
                                  .addSecs(-2)
                                  .toString(QStringLiteral("yyyyMMddHHmmss"));
    write_log(kInfo + QStringLiteral("set_timestamp  :: recalc timestamp ") + seek_time);

    if (!file.isFile() && !date.isEmpty() && !time.isEmpty() && !camera_id.isEmpty())
        file = get_video_file_for_alarm(camera_id, date, time);
    if (!file.isFile()) {
        write_log(kError + QStringLiteral("no file to display"));
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Attention"), QStringLiteral("Aucun fichier vidéo détecté"));
        box.exec();
        return;
    }
    fill_stream_choice_from(file.filePath());
    const QString stream = chosen_stream();
    if (file.filePath() == actual_file) {
        if (display && !stream.isEmpty() && !reader->get_idstream().contains(stream)) {
            write_log(kInfo + QStringLiteral("set_timestamp  :: change id stream"));
            change_camera(file);
        }
    } else {
        change_camera(file);
    }
    emit change_timestamp(seek_time);
}

QFileInfo ZR_Player_presentation::get_video_file_for_alarm(QString camera_id, QString date, QString time)
{
    write_log(kInfo + QStringLiteral("get video file for alarm :: alarm time :: ") + time);
    const int alarm = seconds_of_day(time);
    for (const QFileInfo& f : controller->get_day_video_list()) {
        const QStringList parts = f.fileName().split(QLatin1Char('_'));
        if (f.fileName().isEmpty()) {
            write_log(kWarn + QStringLiteral("get video file for alarm :: video list empty"));
            continue;
        }
        QString c, d, t;
        if (!name_parts(f, &c, &d, &t))
            continue;
        if (c != camera_id || d != date)
            continue;
        const int start = seconds_of_day(t);
        if (start < 0 || alarm < 0)
            continue;
        if (start <= alarm && alarm < start + file_duration_secs)
            return f;
    }
    return QFileInfo();
}

bool ZR_Player_presentation::day_video_list_contains(const QList<QFileInfo>& list, const QString& name)
{
    for (const QFileInfo& f : list)
        if (f.fileName() == name)
            return true;
    return false;
}

void ZR_Player_presentation::set_next_file()
{
    set_file(QStringLiteral("next"));
}

void ZR_Player_presentation::set_previous_file()
{
    set_file(QStringLiteral("previous"));
}

void ZR_Player_presentation::set_file(QString direction)
{
    write_log(kInfo + QStringLiteral("set file :: current file :: ") + actual_file);
    const QFileInfo current(actual_file);
    QString camera, date, start_text;
    if (!name_parts(current, &camera, &date, &start_text))
        return;
    const int start = seconds_of_day(start_text);
    const bool next = direction.contains(QLatin1String("next"));
    const QString neighbour = start < 0 ? QString() : hhmmss(next ? start + file_duration_secs : start - file_duration_secs);

    QString wanted;
    QList<QFileInfo> list;
    if (actual_file.contains(QLatin1String(".zrvideo"))) {
        wanted = recordingFileName(camera, date, neighbour, QStringLiteral(".zrvideo"));
        list = controller->get_day_video_list();
    } else if (actual_file.contains(QLatin1String(".zraudio"))) {
        wanted = recordingFileName(camera, date, neighbour, QStringLiteral(".zraudio"));
        list = controller->get_day_audio_list();
    }
    // Past either end of the day there is no neighbour by name.
    if (neighbour.isEmpty())
        wanted.clear();

    QString folder = current.path();
    if (folder.contains(QLatin1Char('/') + start_text) && !neighbour.isEmpty())
        folder.replace(start_text, neighbour);

    QString new_file;
    if (!wanted.isEmpty() && day_video_list_contains(list, wanted)) {
        new_file = folder + QLatin1Char('/') + wanted;
    } else {
        write_log(kInfo + QStringLiteral("set file :: day video list NOT contain ") + wanted);
        const QList<QFileInfo> pruned = searchable_files(list, QStringLiteral("set file"));
        const int wanted_camera = whole_number(camera);
        QString best;
        int best_start = -1;
        for (const QFileInfo& f : pruned) {
            QString c, d, t;
            if (!name_parts(f, &c, &d, &t) || whole_number(c) != wanted_camera)
                continue;
            if (next) {
                if (t > start_text) {
                    best = f.filePath();
                    break;
                }
            } else {
                const int s = seconds_of_day(t);
                if (!(t < start_text))
                    break;
                if (s > best_start) {
                    best_start = s;
                    best = f.filePath();
                }
            }
        }
        new_file = best.isEmpty() ? wanted : best;
    }
    write_log(kInfo + QStringLiteral("set file :: new file :: ") + new_file);

    const QString stream = chosen_stream();
    if (stream.isEmpty())
        return;
    if (play_state == 1) {
        const QString play_direction = current_rate() <= 0.0 ? QStringLiteral("previous") : QStringLiteral("next");
        if (reader->continue_read(new_file, stream, true, play_direction))
            actual_file = new_file;
    } else if (play_state == 2) {
        if (reader->continue_read(new_file, stream, true, direction))
            actual_file = new_file;
    }
}

void ZR_Player_presentation::change_id_stream(QString id)
{
    // Stream ids compare as whole numbers: stream 2 is not "Video 12".
    for (int i = 0; i < ui->video_stream_box->count(); ++i) {
        QString item = ui->video_stream_box->itemText(i);
        item.remove(QStringLiteral("Video "));
        if (item == id || (whole_number(item) >= 0 && whole_number(item) == whole_number(id)))
            ui->video_stream_box->setCurrentIndex(i);
    }
    ui->label->setStyleSheet(
        QStringLiteral("border: 2px solid gray; border-radius:10px; background-color:#ffffff; color:gray;"));
    ui->label->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    ui->label->setText(QStringLiteral("Changement automatique de qualité"));
    animate_opacity(ui->label, 0.0, 1.0, 2000, QEasingCurve::InBack);
    ui->label->show();
    QTimer::singleShot(2000, this, &ZR_Player_presentation::fadeOut);
}

void ZR_Player_presentation::fadeOut()
{
    QLabel* label = ui->label;
    animate_opacity(label, 1.0, 0.0, 5000, QEasingCurve::OutBack, [label]() { label->hide(); });
}

void ZR_Player_presentation::change_idstream_from_combobox(int)
{
    if (play_state != 1 || camera_combobox->count() < 1)
        return;
    const int id = camera_id_for_text(camera_combobox->currentText());
    if (id == -1)
        return;
    const QString time = QTime::fromString(current_time, QStringLiteral("HH:mm:ss:zzz")).toString(QStringLiteral("HH:mm:ss"));
    timeline_send_click(time, id);
}

// ---------------------------------------------------------------------------------------------
// Timelines

void ZR_Player_presentation::init_timelines(QFileInfoList VIDEO_filelist, int camera_id, int minute_diff_)
{
    minute_diff = minute_diff_;
    write_log(kInfo + QStringLiteral("init timelines :: camera id :: ") + QString::number(camera_id));
    if (VIDEO_filelist.isEmpty()) {
        repaint();
        return;
    }
    timelines_widget = new QWidget();
    int height = 0;
    timelines_layout = new QVBoxLayout();
    timelines_layout->setSpacing(2);
    timelines_layout->setAlignment(Qt::AlignTop);
    timelines_layout->setContentsMargins(0, 0, 0, 0);
    camera_combobox->setStyleSheet(QStringLiteral(
        " QComboBox {  width: 100%; height: 25px; line-height: 1.5px; padding: .25rem .5rem; color: #fff; "
        "background-color: rgba(255,255,255,0.05); background-clip: padding-box; border: 1px solid "
        "rgba(255,255,255,0.5); border-radius: .25rem; } QComboBox::on { padding-top: 3px; padding-left: "
        "4px;}QComboBox::item:selected { background-color: lightgray; color: black;}QComboBox::item:!selected { "
        "background-color: gray; color: black;}QComboBox QAbstractItemView { border: 2px solid darkgray; "
        "background-color: white;}QComboBox:items { color:black; background: white;}QListView { color: black; "
        "background:white; }"));

    const qint64 started = steady_ns();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    write_log(kInfo + QStringLiteral("init timelines :: video files count") + QString::number(VIDEO_filelist.size()));
    for (const QFileInfo& f : std::as_const(VIDEO_filelist)) {
        const QString part = recordingCameraText(f.fileName());
        if (!part.isEmpty() && camera_id == -1) {
            camera_id = whole_number(part);
            current_camera_id = QString::number(camera_id);
        }
    }
    write_log(kInfo + QStringLiteral("init timelines :: video files check and parse done in ") + elapsed_ms_text(started)
              + QStringLiteral(" ms"));
    QApplication::restoreOverrideCursor();

    ui->slider->clear_all_minutes();
    ui->slider->set_camera_id(camera_id);
    ui->slider->check_and_add_tags(tags, camera_id);

    if (camera_id != -1) {
        QString text = cameras.value(camera_id);
        if (text.isEmpty())
            text = QString::number(camera_id);
        for (int i = 0; i < camera_combobox->count(); ++i)
            if (camera_combobox->itemText(i) == text || camera_id_for_text(camera_combobox->itemText(i)) == camera_id)
                camera_combobox->setCurrentIndex(i);
    }

    disconnect(camera_combobox, &QComboBox::activated, this, &ZR_Player_presentation::change_timelines_from_combobox);
    connect(camera_combobox, &QComboBox::activated, this, &ZR_Player_presentation::change_timelines_from_combobox);
    disconnect(ui->video_stream_box, &QComboBox::activated, this, &ZR_Player_presentation::change_idstream_from_combobox);
    connect(ui->video_stream_box, &QComboBox::activated, this, &ZR_Player_presentation::change_idstream_from_combobox);

    for (const QString& hour : std::as_const(hour_labels)) {
        auto* label = new QLabel(hour);
        QFont font(QStringLiteral("Public Sans"), 7, QFont::Normal);
        label->setFont(font);
        label->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
        label->setStyleSheet(QStringLiteral("font:7pt; margin-top:5px; color: white;"));
        label->setFixedHeight(20);
        timelines_layout->addWidget(label);
        auto* timeline = new ZRTimeline(hour, nullptr);
        timeline->set_label(label);
        timeline->clear_all_minutes();
        connect(timeline, &ZRTimeline::clicked, this, &ZR_Player_presentation::timeline_send_click);
        timelines.insert(hour, timeline);
        timelines_layout->addWidget(timeline);
        height += QFontMetrics(font).lineSpacing() + 30;
    }

    set_all_timelines_background(camera_id, VIDEO_filelist);

    timelines_widget->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    timelines_widget->setLayout(timelines_layout);
    timelines_widget->setMinimumHeight(height);
    timelines_widget->setMaximumHeight(height);
    auto* scroll = new QScrollArea();
    scroll->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
    scroll->setWidget(timelines_widget);
    scroll->setWidgetResizable(true);
    scroll->setStyleSheet(QStringLiteral("background-color:transparent; border:0px;"));
    timelines_tab_layout = new QVBoxLayout();
    timelines_tab_layout->addWidget(camera_combobox);
    timelines_tab_layout->addWidget(scroll);
    write_log(kInfo + QStringLiteral("init timelines :: set ui tab 3 layout"));
    ui->tab_3->setLayout(timelines_tab_layout);
    repaint();
}

void ZR_Player_presentation::set_all_timelines_background(int camera_id, QFileInfoList files)
{
    // One wait cursor for the fill in progress: a newer fill supersedes the older, whose end
    // is never reported.
    if (fillers_running == 0)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    fillers_running = 1;
    timelines_start_ns = steady_ns();
    auto* thread = new ZRTimelinethread(&timelines, hour_labels, ui->slider, camera_id, files,
                                        controller->get_day_audio_list(), tags);
    // The thread's own finished(), emitted in this thread once its marks are installed.
    connect(thread, &ZRTimelinethread::finished, this, &ZR_Player_presentation::timeline_thread_finished);
    thread->start(QThread::InheritPriority);
}

void ZR_Player_presentation::timeline_thread_finished()
{
    auto* thread = qobject_cast<ZRTimelinethread*>(sender());
    write_log(kInfo + QStringLiteral("init timelines :: timelines creation done in ") + elapsed_ms_text(timelines_start_ns)
              + QStringLiteral(" ms"));
    if (thread) {
        const QStringList ids = thread->get_stream_ids();
        if (!ids.isEmpty() || ui->video_stream_box->count() == 0) {
            ui->video_stream_box->clear();
            for (QString id : ids) {
                write_log(kInfo + QStringLiteral("init timelines :: id streams found :: ") + id);
                id.remove(QStringLiteral("video"));
                ui->video_stream_box->addItem(QStringLiteral("Video ") + id);
            }
        }
    }
    timeline_send_click(current_time, current_camera_id.toInt());
    repaint();
    if (fillers_running > 0) {
        fillers_running = 0;
        QApplication::restoreOverrideCursor();
    }
}

void ZR_Player_presentation::change_timelines_from_combobox(int index)
{
    if (camera_combobox->count() == 0)
        return;
    const QString text = camera_combobox->itemText(index);
    write_log(kInfo + QStringLiteral("change timelines from combobox :: combobox_index       ") + QString::number(index));
    write_log(kInfo + QStringLiteral("change timelines from combobox :: camera name          ") + text);
    const int id = camera_id_for_text(text);
    change_timelines_from_cameraid(id);
    current_camera_id = QString::number(id);
}

void ZR_Player_presentation::change_timelines_from_cameraid(int camera_id)
{
    if (camera_id < 0)
        return;
    write_log(kInfo + QStringLiteral("change timeline for camera id :: ") + QString::number(camera_id)
              + QStringLiteral(" // current time :: ") + current_time);
    controller->clear_day_video_list();
    controller->clear_day_audio_list();
    controller->clear_day_alarm_list();
    controller->clear_day_timestamp_list();
    load_day_lists();
    if (!cameras.isEmpty()) {
        const QString name = cameras.value(camera_id);
        for (int i = 0; i < camera_combobox->count(); ++i)
            if (camera_combobox->itemText(i) == name)
                camera_combobox->setCurrentIndex(i);
    }
    const QList<QFileInfo> video = controller->get_day_video_list();
    if (video.isEmpty())
        return;
    QList<QFileInfo> kept;
    for (const QFileInfo& f : video) {
        const QFileInfo seek(seekTablePathOf(f.filePath()));
        if (!seek.exists())
            continue;
        if (seek.size() < 1 && f.exists() && f.size() < 1)
            continue;
        kept.append(f);
    }
    ui->slider->clear_all_minutes();
    ui->slider->set_camera_id(camera_id);
    ui->slider->check_and_add_tags(tags, camera_id);
    set_all_timelines_background(camera_id, kept);
    reader->stop();
    repaint();
}

void ZR_Player_presentation::slider_send_click(QString videotime_str, int camera_id)
{
    if (!time_received)
        return;
    time_received = false;
    timeline_send_click(videotime_str, camera_id);
}

void ZR_Player_presentation::timeline_send_click(QString time, int camera_id)
{
    write_log(kClick + QStringLiteral("timeline send click :: search datetime for :: ") + time + QStringLiteral(" / id ")
              + QString::number(camera_id));
    QTime parsed = QTime::fromString(time, QStringLiteral("HH:mm:ss"));
    if (!parsed.isValid())
        parsed = QTime::fromString(time, QStringLiteral("HH:mm:ss:zzz"));
    const QString text = parsed.isValid() ? parsed.toString(QStringLiteral("HH:mm:ss")) : QString();
    QString result = timeline_send_click_get_datetime(text, camera_id, 0);
    write_log(kClick + QStringLiteral("timeline send click :: found time :: ") + result);
    if (result.isEmpty()) {
        write_log(kClick + QStringLiteral("timeline send click :: search time again for :: ") + text
                  + QStringLiteral(" / id ") + QString::number(camera_id));
        result = timeline_send_click_get_datetime(text, camera_id, 900);
        if (result.isEmpty()) {
            write_log(kClick + QStringLiteral("timeline send click :: time not found"));
            stop_button();
            return;
        }
    }
    write_log(kClick + QStringLiteral("timeline send click :: send change timestamp :: ") + result);
    emit change_timestamp(result);
}

QString ZR_Player_presentation::timeline_send_click_get_datetime(QString time, int camera_id, int approx)
{
    write_log(kClick + QStringLiteral("timeline send click get datetime :: time ") + time + QStringLiteral(" // camera_id ")
              + QString::number(camera_id) + QStringLiteral(" // approx ") + QString::number(approx));
    ZRTimeline* timeline = find_timeline_for_time(time);
    file_duration_secs = file_seconds();

    const QList<QFileInfo> media = controller->get_day_video_list() + controller->get_day_audio_list();
    if (media.isEmpty()) {
        write_log(kWarn + QStringLiteral("timeline get datetime :: medialist is empty"));
        return QString();
    }
    const QList<QFileInfo> list = searchable_files(media, QStringLiteral("timeline get datetime"));
    const int c = seconds_of_day(time);
    if (c < 0) {
        write_log(kWarn + QStringLiteral("timeline get datetime :: file not found"));
        return QString();
    }

    // The camera's entries only: a near search never lands on another camera's recording.
    struct Entry
    {
        QFileInfo file;
        int start;
        QString date;
    };
    QList<Entry> entries;
    for (const QFileInfo& f : list) {
        QString cam, date, t;
        if (!name_parts(f, &cam, &date, &t))
            continue;
        const int id = whole_number(cam);
        if (camera_id == -1)
            camera_id = id;
        if (id != camera_id)
            continue;
        const int s = seconds_of_day(t);
        if (s < 0)
            continue;
        entries.append({f, s, date});
    }

    int answer = -1;
    int last_examined = -1;
    for (int i = 0; i < entries.size() && answer < 0; ++i) {
        last_examined = i;
        const int s = entries.at(i).start;
        const int e = s + file_duration_secs;
        const bool has_next = i + 1 < entries.size();
        const int n = has_next ? entries.at(i + 1).start : -1;
        if (approx < 1) {
            if (s <= c && c < e)
                answer = i;
            continue;
        }
        const int d1 = s - c;
        const int d2 = has_next ? n - c : 0;
        if (0 < d1 && d1 < approx) {
            write_log(kInfo + QStringLiteral("timeline get datetime :: video time to begin file        ") + QString::number(d1));
            answer = i;
        } else if (0 < d2 && d2 < approx) {
            if (std::abs(d1) < approx && std::abs(d1) < d2) {
                write_log(kInfo + QStringLiteral("timeline get datetime :: video time to file              ")
                          + QString::number(d1));
                answer = i;
            } else {
                write_log(kInfo + QStringLiteral("timeline get datetime ::video time to next file         ")
                          + QString::number(d2));
                answer = i + 1;
            }
        } else if (0 < std::abs(d1) && std::abs(d1) < approx && !(0 < std::abs(d2) && std::abs(d2) < approx)) {
            write_log(kInfo + QStringLiteral("timeline get datetime :: video time to begin file        ") + QString::number(d1));
            answer = i;
        }
        if (answer >= 0)
            write_log(kInfo + QStringLiteral("timeline get datetime :: change for file                 ")
                      + entries.at(answer).file.filePath());
    }
    if (answer < 0 && approx >= 1 && last_examined >= 0) {
        const int t = entries.at(last_examined).start + file_duration_secs - c;
        if (-approx < t && t < 0) {
            write_log(kInfo + QStringLiteral("timeline get datetime :: video time to end file          ") + QString::number(t));
            answer = last_examined;
            write_log(kInfo + QStringLiteral("timeline get datetime :: change for file                 ")
                      + entries.at(answer).file.filePath());
        }
    }
    if (answer < 0) {
        write_log(kWarn + QStringLiteral("timeline get datetime :: file not found"));
        return QString();
    }

    const Entry found = entries.at(answer);
    fill_stream_choice_from(found.file.filePath());
    const QString stream = chosen_stream();
    if (!stream.isEmpty()) {
        const int minute_of_day = found.start / 60;
        if (timeline)
            timeline->clear_minutes(minute_of_day % 60, 1);
        ui->slider->clear_minutes(minute_of_day, 1);
        // The answer's own table, read apart: the reader's file list is not touched.
        QList<ZRFrame> frames;
        for (const ZRFrame& f : ZRSeekTable::parse_file(seekTablePathOf(found.file.filePath()), stream).frames)
            if (f.get_in_range() == 1)
                frames.append(f);
        if (!frames.isEmpty()) {
            if (timeline)
                timeline->set_minutes_from_frames(frames);
            ui->slider->set_minutes_from_frames(frames);
            ui->slider->repaint();
        }
    }

    if (found.file.filePath() == actual_file) {
        if (display && !stream.isEmpty() && !reader->get_idstream().contains(stream)) {
            write_log(kInfo + QStringLiteral("change id stream !"));
            change_camera(found.file);
        }
    } else {
        change_camera(found.file);
    }
    const QString result = found.date + hhmmss(c);
    write_log(kInfo + QStringLiteral("timeline get datetime :: emit change timestamp ") + result);
    return result;
}

// ---------------------------------------------------------------------------------------------
// Alarm and tag lists

void ZR_Player_presentation::set_alarm_list_from_cameraid(int camera_id)
{
    if (camera_id >= 0)
        current_camera_id = QString::number(camera_id);
    const QList<QFileInfo> alarms = controller->get_day_alarm_list();
    if (alarms.isEmpty() || controller->get_day_video_list().isEmpty()) {
        ui->listVignettes_view->setModel(nullptr);
        ui->alarm_combobox->hide();
        return;
    }
    alarm_vignettes.clear();
    QStringList choices{QStringLiteral("Toutes les caméras")};
    int selected = -1;
    write_log(kInfo + QStringLiteral("alarm list from camera id :: id ") + QString::number(camera_id));
    write_log(kInfo + QStringLiteral("alarm list from camera id :: size ") + QString::number(alarms.size()));
    for (const QFileInfo& f : alarms) {
        const QString name = f.fileName();
        if (!name.contains(QLatin1String("thumb.jpg")))
            continue;
        QString cam, date, time;
        if (!split_entry_name(name, &cam, &date, &time))
            continue;
        if (time.indexOf(QLatin1Char('-')) >= 0)
            time.truncate(time.indexOf(QLatin1Char('-')));
        const int file_camera = whole_number(cam);
        const QString display_name = camera_display_name(file_camera);
        add_camera_choice(choices, display_name, file_camera, camera_id, selected);
        if (camera_id < 0 || camera_id == file_camera)
            alarm_vignettes.append(Vignette(name, f.filePath(), display_name, cam, date, time));
    }
    show_camera_choices(ui->alarm_combobox, choices, selected);

    if (alarm_model)
        alarm_model->deleteLater();
    if (alarm_delegate)
        alarm_delegate->deleteLater();
    alarm_model = new AlarmModel(alarm_vignettes);
    alarm_delegate = new AlarmItemDelegate();
    show_vignette_list(ui->listVignettes_view, alarm_model, alarm_delegate, 200);
    ui->alarm_combobox->show();
    connect(alarm_delegate, &AlarmItemDelegate::cellButtonClicked, this, &ZR_Player_presentation::set_timestamp);
    connect(alarm_delegate, &AlarmItemDelegate::cellDownloadButtonClicked, this,
            &ZR_Player_presentation::open_alarm_popup);
}

void ZR_Player_presentation::set_tags_list_from_cameraid(int camera_id)
{
    write_log(kInfo + QStringLiteral("set tags list from cameraid :: ") + QString::number(camera_id));
    if (camera_id >= 0)
        current_camera_id = QString::number(camera_id);
    const QList<QFileInfo> tag_files = controller->get_day_tags_list();
    const QList<QFileInfo> video = controller->get_day_video_list();
    if (tag_files.isEmpty() || video.isEmpty()) {
        ui->listTags_view->setModel(nullptr);
        ui->tags_comboBox->hide();
        return;
    }
    tag_vignettes.clear();
    QStringList choices{QStringLiteral("Toutes les caméras")};
    int selected = -1;
    for (const QFileInfo& f : tag_files) {
        std::unique_ptr<ZRTag> tag(ZRFile::parse_tags_file(f));
        if (!tag || f.fileName().isEmpty()) {
            write_log(kError + QStringLiteral("failed to parse TAG file ") + f.fileName());
            continue;
        }
        QString cam, date, time;
        if (!split_entry_name(f.fileName(), &cam, &date, &time))
            continue;
        time.remove(QStringLiteral(".zrtag"));
        const int tag_camera = whole_number(cam);
        const QString display_name = camera_display_name(tag_camera);
        add_camera_choice(choices, display_name, tag_camera, camera_id, selected);
        const int tt = seconds_of_day(time);
        for (const QFileInfo& v : video) {
            QString vc, vd, vt;
            if (!name_parts(v, &vc, &vd, &vt) || vc != cam || vd != date)
                continue;
            const int vs = seconds_of_day(vt);
            // A tag at the very start of a recording belongs to it.
            if (file_duration_secs != -1 && vs >= 0 && tt >= 0 && vs <= tt && tt < vs + file_duration_secs) {
                if (camera_id < 0 || camera_id == tag_camera)
                    tag_vignettes.append(Vignette(f.fileName(), f.path(), v, display_name, tag->get_tag_datetime(),
                                                  tag->get_tag_name(), tag->get_tag_description(), tag->get_tag_id(),
                                                  tag->get_tag_cam_id()));
                break;
            }
        }
    }
    show_camera_choices(ui->tags_comboBox, choices, selected);

    if (tags_model)
        tags_model->deleteLater();
    if (tags_delegate)
        tags_delegate->deleteLater();
    tags_model = new TagsModel(tag_vignettes);
    tags_delegate = new TagItemDelegate();
    show_vignette_list(ui->listTags_view, tags_model, tags_delegate, 50);
    ui->tags_comboBox->show();
    connect(tags_delegate, &TagItemDelegate::cellButtonClicked, this, &ZR_Player_presentation::set_timestamp);
    connect(tags_delegate, &TagItemDelegate::cellDownloadButtonClicked, this, &ZR_Player_presentation::open_alarm_popup);
}

void ZR_Player_presentation::set_alarm_list_from_index(int index)
{
    write_log(kInfo + QStringLiteral("set alarm list from index :: ") + QString::number(index));
    file_duration_secs = file_seconds();
    int camera_id = -1;
    if (index != -1 && index >= 0 && index < ui->alarm_combobox->count()) {
        camera_id = index == 0 ? -1 : camera_id_for_text(ui->alarm_combobox->itemText(index));
        ui->alarm_combobox->setCurrentIndex(index);
    }
    set_alarm_list_from_cameraid(camera_id);
    change_timelines_from_cameraid(camera_id);
}

void ZR_Player_presentation::set_tags_list_from_index(int index)
{
    write_log(kInfo + QStringLiteral("set tags list from index :: ") + QString::number(index));
    file_duration_secs = file_seconds();
    int camera_id = -1;
    if (index != -1 && index >= 0 && index < ui->tags_comboBox->count()) {
        camera_id = index == 0 ? -1 : camera_id_for_text(ui->tags_comboBox->itemText(index));
        ui->tags_comboBox->setCurrentIndex(index);
    }
    set_tags_list_from_cameraid(camera_id);
    change_timelines_from_cameraid(camera_id);
}
