#include "export/Download_presentation.h"

#include "app/Log.h"
#include "export/DownloadItem_Presentation.h"
#include "export/DownloadPresentationModel.h"
#include "export/EditTableView.h"
#include "export/Presentation_Interface.h"
#include "export/SqueezeLabel.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>

namespace {

const QString kInfo = QStringLiteral("[INFO] Download Presentation :: ");
const char* const kBarStyle =
    "QProgressBar {    border: 1px solid grey; border-radius: 5px; text-align: center;color:white; "
    "font: 14px;background-color: rgba(255,255,255,0.2);padding-top:3px;padding-bottom:3px;}";

} // namespace

Download_presentation::Download_presentation()
    : QWidget(nullptr)
{
    setupUi(this);
    downloadModel = new DownloadPresentationModel(this, QStringLiteral("download"), this);
    successModel = new DownloadPresentationModel(this, QStringLiteral("success"), this);
    errorModel = new DownloadPresentationModel(this, QStringLiteral("error"), this);
    const QList<QPair<EditTableView*, DownloadPresentationModel*>> views = {
        {downloadsView, downloadModel}, {finished_downloadsView, successModel}, {failure_downloadsView, errorModel}};
    for (const auto& [view, model] : views) {
        view->setShowGrid(true);
        view->horizontalHeader()->hide();
        view->verticalHeader()->hide();
        view->setAlternatingRowColors(false);
        view->horizontalHeader()->setStretchLastSection(true);
        view->setModel(model);
        view->setStyleSheet(QStringLiteral("EditTableView::item {border: 0px;border-bottom: 1px solid gray;}"));
    }
    const QPixmap icon(QStringLiteral(":/imgs/download.png"));
    if (icon.isNull())
        label_14->clear();
    else
        label_14->setPixmap(icon.scaled(20, 20, Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

Download_presentation::~Download_presentation()
{
    // The rows are children of the views and go with them.
}

QList<Presentation_Interface*>* Download_presentation::list_of(const QString& kind)
{
    if (kind == QLatin1String("download"))
        return &downloads;
    if (kind == QLatin1String("success"))
        return &successes;
    if (kind == QLatin1String("error"))
        return &errors;
    return nullptr;
}

void Download_presentation::place(EditTableView* view, DownloadPresentationModel* model, Presentation_Interface* row)
{
    model->append_row(row);
    const int r = model->rowCount() - 1;
    view->setIndexWidget(model->index(r, 0), row);
    view->setRowHeight(r, 100);
}

void Download_presentation::add_item(Presentation_Interface* row)
{
    write_log(kInfo + QStringLiteral("add item"));
    connect(row, &Presentation_Interface::statusChanged, this, &Download_presentation::update);
    const bool first = downloads.isEmpty();
    place(downloadsView, downloadModel, row);
    if (first)
        show();
    row->fileIcon->setPixmap(style()->standardIcon(QStyle::SP_FileIcon).pixmap(48, 48));
    row->fileNameLabel->setStyleSheet(QStringLiteral("color: white;"));
    row->downloadInfoLabel->setStyleSheet(QStringLiteral("color: white;"));
    row->downloadInfoLabel->setText(tr("En attente..."));
    row->downloadInfoLabel->setVisible(true);
    row->progressBar->setStyleSheet(QString::fromUtf8(kBarStyle));
    emit row->statusChanged();
    downloadsView->viewport()->update();
}

void Download_presentation::file_row(Presentation_Interface* old, Presentation_Interface* fresh, bool success)
{
    downloadModel->take_row(old);
    if (success)
        place(finished_downloadsView, successModel, fresh);
    else
        place(failure_downloadsView, errorModel, fresh);
    downloadsView->viewport()->update();
    (success ? finished_downloadsView : failure_downloadsView)->viewport()->update();
}

void Download_presentation::start_first_waiting(const QString& logPrefix)
{
    for (int i = 0; i < downloads.size(); ++i) {
        Presentation_Interface* row = downloads.at(i);
        if (!row->isFinished() && !row->isStarted()) {
            write_log(logPrefix + QString::number(i));
            startTime = std::chrono::steady_clock::now();
            row->start_downloading_item();
            return;
        }
    }
}

void Download_presentation::update()
{
    if (downloads.isEmpty()) {
        write_log(kInfo + QStringLiteral("no download to update"));
        update_counters();
        return;
    }
    auto* row = qobject_cast<Presentation_Interface*>(sender());
    // Only a row still in the first table is re-filed: a second report of the same end, or
    // one from a row already filed, changes nothing.
    if (row && downloads.contains(row))
        refile(row);

    int running = 0;
    for (Presentation_Interface* r : std::as_const(downloads))
        if (!r->isFinished() && r->isStarted() && !r->isStopped())
            ++running;
    if (running < 2)
        start_first_waiting(kInfo + QStringLiteral("global start new download "));
    update_counters();
}

void Download_presentation::refile(Presentation_Interface* row)
{
    const QString type = row->type();
    if (type.contains(QLatin1String("multi"))) {
        const QString prefix = kInfo + QStringLiteral("multi type :: update :: ");
        if (!row->isStarted() && row->downloadedSuccessfully() && row->has_done_items()) {
            write_log(prefix + QStringLiteral("downloadedSuccessfully"));
            Presentation_Interface* fresh = row->filed_row(Presentation_Interface::Filing::Success);
            const bool failedToo = row->isInError() || row->has_failed_items();
            Presentation_Interface* failed = failedToo ? row->filed_row(Presentation_Interface::Filing::Failure) : nullptr;
            if (fresh) {
                write_log(prefix + QStringLiteral("STOPPED FILE        ") + row->fileName());
                file_row(row, fresh, true);
            }
            // A row with done and failed items is filed in both tabs; the old row goes once.
            if (failed) {
                write_log(prefix + QStringLiteral("error detected"));
                connect(failed, &Presentation_Interface::statusChanged, this, &Download_presentation::update);
                // Declared by each row class that retries through the window, not by the base: by signature.
                connect(failed, SIGNAL(tryAgainFromError(QString)), this, SLOT(updateFromError(QString)));
                failed->setType(QStringLiteral("multi"));
                failed->setInError(true);
                place(failure_downloadsView, errorModel, failed);
            }
            write_log(prefix + QStringLiteral("START NEW DOWNLOAD  "));
            start_first_waiting(prefix + QStringLiteral("START NEW DOWNLOAD "));
            write_log(prefix + QStringLiteral("update views "));
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - startTime).count();
            write_log(prefix + QStringLiteral("downloadedSuccessfully done"));
            write_log(prefix + QStringLiteral("files downloaded in ") + QString::number(seconds, 'g', 6)
                      + QStringLiteral(" s"));
        } else if (!row->isStarted() && !row->isStopped() && (row->isInError() || row->has_failed_items())) {
            // A row the operator stopped keeps its lists until "Relancer".
            write_log(prefix + QStringLiteral("error detected"));
            if (Presentation_Interface* failed = row->filed_row(Presentation_Interface::Filing::Failure)) {
                connect(failed, &Presentation_Interface::statusChanged, this, &Download_presentation::update);
                // Declared by each row class that retries through the window, not by the base: by signature.
                connect(failed, SIGNAL(tryAgainFromError(QString)), this, SLOT(updateFromError(QString)));
                failed->setType(QStringLiteral("multi"));
                failed->setInError(true);
                file_row(row, failed, false);
            }
        } else if (row->isStarted()) {
            const int r = downloads.indexOf(row);
            if (downloadsView->rowHeight(r) < 100)
                downloadsView->setRowHeight(r, 100);
        }
        return;
    }
    if (type.contains(QLatin1String("encode"))) {
        const QString prefix = kInfo + QStringLiteral("encode type :: ");
        if (row->downloadedSuccessfully()) {
            write_log(prefix + QStringLiteral("item downloaded Successfully"));
            Presentation_Interface* fresh = row->filed_row(Presentation_Interface::Filing::Success);
            if (!fresh)
                fresh = new DownloadItem_Presentation(this, row->fileName());
            write_log(prefix + QStringLiteral("STOPPED FILE        ") + row->fileName());
            if (!row->release_job())
                write_log(QStringLiteral("[WARN] Download Presentation :: encode type :: failed to delete download / "
                                         "encode object"));
            file_row(row, fresh, true);
            write_log(prefix + QStringLiteral("START NEW DOWNLOAD  "));
            start_first_waiting(prefix + QStringLiteral("START NEW DOWNLOAD "));
        } else if (row->isInError()) {
            write_log(prefix + QStringLiteral("item in error"));
            const QString text = row->downloadInfoLabel->text();
            Presentation_Interface* failed = row->filed_row(Presentation_Interface::Filing::Failure);
            if (!failed)
                return;
            connect(failed, &Presentation_Interface::statusChanged, this, &Download_presentation::update);
            // Declared by each row class that retries through the window, not by the base: by signature.
            connect(failed, SIGNAL(tryAgainFromError(QString)), this, SLOT(updateFromError(QString)));
            failed->setType(QStringLiteral("encode"));
            failed->setInError(true);
            file_row(row, failed, false);
            write_log(prefix + text);
            failed->downloadInfoLabel->setText(text);
        }
        return;
    }
    // Export rows and plain downloads.
    if (row->downloadedSuccessfully()) {
        write_log(kInfo + QStringLiteral("item downloaded Successfully"));
        auto* fresh = new DownloadItem_Presentation(this, row->fileName());
        const QString name = row->fileName();
        file_row(row, fresh, true);
        write_log(QStringLiteral("[INFO] Download Presentation ::STOPPED FILE        ") + name);
        write_log(QStringLiteral("[INFO] Download Presentation ::START NEW DOWNLOAD  "));
        start_first_waiting(QStringLiteral("[INFO] Download Presentation ::START NEW DOWNLOAD "));
    } else if (row->isInError()) {
        write_log(kInfo + QStringLiteral("item in error"));
        const QString text = row->downloadInfoLabel->text();
        auto* failed = new DownloadItem_Presentation(this, row->fileName());
        file_row(row, failed, false);
        write_log(kInfo + QStringLiteral("downloadInfoLabel txt ") + text);
        failed->downloadInfoLabel->setText(text);
    }
}

void Download_presentation::update_counters()
{
    label_current_download->setText(QStringLiteral("En cours (%1)").arg(downloads.size()));
    tabWidget->setTabText(0, QStringLiteral("Réussis (%1)").arg(successes.size()));
    tabWidget->setTabText(1, QStringLiteral("Echoués (%1)").arg(errors.size()));
    if (!errors.isEmpty())
        tabWidget->tabBar()->setTabTextColor(1, Qt::red);
}

void Download_presentation::updateFromError(QString type)
{
    write_log(kInfo + QStringLiteral("updateFromError"));
    if (errors.isEmpty()) {
        write_log(kInfo + QStringLiteral("no download error to update"));
        return;
    }
    auto* row = qobject_cast<Presentation_Interface*>(sender());
    const int j = errors.indexOf(row);
    write_log(kInfo + QStringLiteral("updateFromError :: row ") + QString::number(j));
    write_log(kInfo + QStringLiteral("updateFromError :: error type ") + type);
    if (j < 0)
        return;
    QString newType;
    if (type.contains(QLatin1String("multi")))
        newType = QStringLiteral("multi");
    else if (type.contains(QLatin1String("encode")))
        newType = QStringLiteral("encode");
    Presentation_Interface* fresh = newType.isEmpty() ? nullptr : row->filed_row(Presentation_Interface::Filing::Retry);
    if (!fresh) {
        write_log(QStringLiteral("[ERROR] Download Presentation :: update From Error :: unknown type"));
        return;
    }
    fresh->setType(newType);
    fresh->resetFlags();
    errorModel->take_row(row);
    failure_downloadsView->viewport()->update();
    add_item(fresh);
}

void Download_presentation::closeEvent(QCloseEvent* event)
{
    write_log(kInfo + QStringLiteral("closeEvent"));
    QList<Presentation_Interface*> active;
    for (Presentation_Interface* row : std::as_const(downloads))
        if (row->stopButton->isEnabled())
            active << row;
    if (active.isEmpty()) {
        event->accept();
        return;
    }
    QMessageBox box;
    box.setText(tr("Téléchargements actifs"));
    box.setInformativeText(tr("Souhaitez-vous annuler les téléchargements actifs ?"));
    box.setIcon(QMessageBox::Information);
    box.addButton(tr("Non"), QMessageBox::NoRole);
    QPushButton* yes = box.addButton(tr("Oui"), QMessageBox::YesRole);
    box.exec();
    if (box.clickedButton() == yes) {
        event->accept();
        // Each row tells its job to stop; a row that goes with the window releases its
        // thread once that thread has ended.
        for (Presentation_Interface* row : std::as_const(active))
            if (downloads.contains(row))
                row->stop();
    } else {
        event->ignore();
    }
}
