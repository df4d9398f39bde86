#include "player/IntegrityDialog.h"

#include "platform/ThemeSetting.h"
#include "store/IntegrityCheck.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSizePolicy>
#include <QVBoxLayout>

namespace {

const char* const kLightStyle =
    "QWidget { background-color: palette(window); color: black; }"
    "QLabel { color: black; }"
    "QPushButton { background-color: #f0f0f0; color: black; border: 1px solid #aaa; padding: 6px 12px; }"
    "QPushButton:hover { background-color: #e0e0e0; }"
    "QProgressBar { border: 1px solid grey; border-radius: 5px; text-align: center; font: 14px; "
    "background-color: rgba(255,255,255,0.2); color: black; padding-top: 3px; padding-bottom: 3px; }"
    "QProgressBar::chunk { background-color: gray; width: 20px; }";

const char* const kDarkStyle =
    "QWidget { background-color: #121212; color: #EEEEEE; }"
    "QLabel { color: #EEEEEE; }"
    "QPushButton { background-color: #2E2E2E; color: #FFFFFF; border: 1px solid #444; padding: 6px 12px; }"
    "QPushButton:hover { background-color: #3E3E3E; }"
    "QProgressBar { border: 1px solid #555; border-radius: 5px; text-align: center; font: 14px; "
    "background-color: #1E1E1E; color: white; padding-top: 3px; padding-bottom: 3px; }"
    "QProgressBar::chunk { background-color: #00C853; width: 20px; }";

const char* const kWaitingBarStyle =
    "QProgressBar { border: 1px solid grey; border-radius: 5px; text-align: center;color:black; font: 14px; "
    "background-color: rgba(255,255,255,0.2); padding-top:3px; padding-bottom:3px; }"
    "QProgressBar::chunk { background-color: gray; width: 20px; }";

const QString kStopText = QStringLiteral("Arrêter");
const QString kCloseText = QStringLiteral("Fermer");

} // namespace

void IntegrityDialog::follow(IntegrityCheck* check)
{
    connect(check, &IntegrityCheck::hash_file_found, this, &IntegrityDialog::is_hash_file_found);
    connect(check, &IntegrityCheck::file_count, this, &IntegrityDialog::get_file_count);
    connect(check, &IntegrityCheck::file_count_check, this, &IntegrityDialog::is_file_count_check);
    connect(check, &IntegrityCheck::start_check, this, &IntegrityDialog::start_check);
    connect(check, &IntegrityCheck::end_check, this, &IntegrityDialog::end_check);
    connect(check, &IntegrityCheck::begin_check_file, this, &IntegrityDialog::begin_check_file);
    connect(check, &IntegrityCheck::end_check_file, this, &IntegrityDialog::end_check_file);
    connect(this, &IntegrityDialog::user_stopped, check, &IntegrityCheck::user_stop);
}

IntegrityDialog::IntegrityDialog(QString root, QString date, QWidget* parent)
    : QDialog(parent)
    , root_directory(std::move(root))
    , date(std::move(date))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::CustomizeWindowHint);
    setWindowModality(Qt::ApplicationModal);

    setStyleSheet(QString::fromUtf8(zrplatform::apps_use_light_theme() ? kLightStyle : kDarkStyle));
    build_layout();

    // Connected before the creator's own finished() connection, so the check is asked to stop
    // before the creator releases it.
    connect(this, &QDialog::finished, this, &IntegrityDialog::stop_if_running);
}

IntegrityDialog::~IntegrityDialog() = default;

void IntegrityDialog::build_layout()
{
    auto* layout = new QVBoxLayout;
    layout->setSpacing(15);
    layout->setContentsMargins(20, 20, 20, 20);

    auto* title = new QLabel(QStringLiteral("Vérification d'intégrité de la journée du ") + date);
    title->setAlignment(Qt::AlignCenter);
    title->setStyleSheet(QStringLiteral("font-weight: bold; font-size: 16px;"));
    layout->addWidget(title);

    auto* folder = new QLabel(QStringLiteral("[") + root_directory + QStringLiteral("]"));
    folder->setAlignment(Qt::AlignCenter);
    folder->setStyleSheet(QStringLiteral("font: 10px;"));
    layout->addWidget(folder);

    auto* barHolder = new QWidget;
    barHolder->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Maximum);
    auto* barLayout = new QHBoxLayout(barHolder);
    progress_bar = new QProgressBar;
    progress_bar->setObjectName(QStringLiteral("progress_bar"));
    progress_bar->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Maximum);
    progress_bar->setMinimumHeight(30);
    progress_bar->setValue(0);
    progress_bar->setFormat(QStringLiteral("Vérification en attente ..."));
    progress_bar->setStyleSheet(QString::fromUtf8(kWaitingBarStyle));
    barLayout->addWidget(progress_bar);
    layout->addWidget(barHolder);

    auto* resultHolder = new QWidget;
    resultHolder->setObjectName(QStringLiteral("result_column"));
    resultHolder->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Maximum);
    result_layout = new QVBoxLayout(resultHolder);
    layout->addWidget(resultHolder);

    action_button = new QPushButton(kCloseText);
    action_button->setObjectName(QStringLiteral("action_button"));
    action_button->setStyleSheet(QStringLiteral("padding: 6px 12px; font: 12px;"));
    layout->addWidget(action_button, 0, Qt::AlignCenter);
    connect(action_button, &QPushButton::clicked, this, &IntegrityDialog::handle_close_or_stop);

    setLayout(layout);
}

QLabel* IntegrityDialog::add_result_label(const QString& text, const QString& style)
{
    auto* label = new QLabel(text);
    if (!style.isEmpty())
        label->setStyleSheet(style);
    result_layout->addWidget(label);
    return label;
}

void IntegrityDialog::is_hash_file_found(bool found)
{
    if (found)
        add_result_label(QStringLiteral("Fichier HASH trouvé : OK"));
    else
        add_result_label(QStringLiteral("Fichier HASH trouvé : ERREUR"), QStringLiteral("color: red;"));
}

void IntegrityDialog::get_file_count(int count)
{
    file_total = count;
    progress_bar->setMaximum(count);
    add_result_label(QStringLiteral("Nombre de fichiers à vérifier : ") + QString::number(count));
}

void IntegrityDialog::start_check()
{
    file_done = 0;
    progress_bar->setValue(0);
    action_button->setText(kStopText);
    action_button->setEnabled(true);
    stopped_by_user = false;
    status_label = add_result_label(QStringLiteral("État de la vérification d'intégrité : EN COURS ..."));
}

void IntegrityDialog::is_file_count_check(bool ok)
{
    if (ok)
        add_result_label(QStringLiteral("Intégrité du compte de fichiers : OK"));
    else
        add_result_label(QStringLiteral("Intégrité du compte de fichiers : ERREUR"), QStringLiteral("color: red;"));
}

void IntegrityDialog::begin_check_file(QString file)
{
    file_done += 1;
    progress_bar->setValue(file_done);
    const int percent = file_total > 0 ? file_done * 100 / file_total : 0;
    progress_bar->setFormat(QString::number(percent) + QStringLiteral(" %  [ ") + file + QStringLiteral(" ]"));
}

void IntegrityDialog::end_check_file(QString file, bool ok)
{
    if (!ok)
        add_result_label(QStringLiteral("Erreur lors de la vérification du fichier : ") + file,
                         QStringLiteral("color: red;"));
}

void IntegrityDialog::end_check(bool ok)
{
    QString summary;
    QString summaryStyle;
    QString format;
    QString chunk;
    QString status;
    if (stopped_by_user) {
        status = QStringLiteral("État de la vérification : interrompue par l'utilisateur");
        format = QStringLiteral("Vérification arrêtée");
        chunk = QStringLiteral("grey");
        add_result_label(QStringLiteral("Vérification interrompue avant la fin."),
                         QStringLiteral("font-weight: bold; color: orange;"));
    } else if (ok) {
        summary = QStringLiteral("Vérification d'intégrité terminée et validée");
        format = QStringLiteral("Intégrité validée");
        chunk = QStringLiteral("green");
        status = QStringLiteral("État de la vérification d'intégrité : OK");
    } else {
        summary = QStringLiteral("Vérification d'intégrité terminée et non conforme");
        format = QStringLiteral("Intégrité non valide");
        chunk = QStringLiteral("red");
        status = QStringLiteral("État de la vérification d'intégrité : ERREUR");
        if (progress_bar->maximum() == 0)
            progress_bar->setMaximum(100);
        // A value above the maximum would be ignored by the bar: fill it to its maximum.
        progress_bar->setValue(progress_bar->maximum());
        summaryStyle = QStringLiteral("color: red;");
    }
    // The check always announces its start first; without it there is no status line to update.
    if (status_label)
        status_label->setText(status);

    progress_bar->setFormat(format);
    progress_bar->setStyleSheet(
        QStringLiteral("QProgressBar { border: 1px solid grey; border-radius: 5px; text-align: center; "
                       "font-weight: bold; font-size: 14px; background-color: rgba(255,255,255,0.2);"
                       "padding-top:3px; padding-bottom:3px; }QProgressBar::chunk { background-color: ")
        + chunk + QStringLiteral("; width: 20px; }"));

    result_layout->addSpacing(20);
    auto* summaryLabel = new QLabel(summary);
    summaryLabel->setAlignment(Qt::AlignCenter);
    summaryLabel->setStyleSheet(QStringLiteral("font-weight: bold;") + summaryStyle);
    result_layout->addWidget(summaryLabel);

    action_button->setText(kCloseText);
    action_button->setEnabled(true);
    action_button->setFocus();
}

void IntegrityDialog::handle_close_or_stop()
{
    if (action_button->text() == kStopText) {
        stopped_by_user = true;
        add_result_label(QStringLiteral("Arrêt de la vérification demandé par l'utilisateur."),
                         QStringLiteral("color: orange;"));
        action_button->setEnabled(false);
        emit user_stopped();
        return;
    }
    close();
}

void IntegrityDialog::stop_if_running()
{
    if (action_button->text() == kStopText && action_button->isEnabled()) {
        stopped_by_user = true;
        action_button->setEnabled(false);
        emit user_stopped();
    }
}
