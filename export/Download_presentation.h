#pragma once

#include "export/Ui_Download_presentation.h"

#include <QList>
#include <QString>
#include <QWidget>

#include <chrono>

class DownloadPresentationModel;
class EditTableView;
class Presentation_Interface;

// The window that lists running and waiting jobs (exports, downloads) as rows, runs at most
// two at a time, and files each ended job in its "Réussis" or "Echoués" tab. Rows are found
// by identity, never by a position that shifts while rows move.
class Download_presentation : public QWidget, public Ui::Download_presentation
{
    Q_OBJECT

public:
    Download_presentation();
    ~Download_presentation() override;

    void add_item(Presentation_Interface* row);

    // The three lists, by the kind of their model ("download", "success", "error"); null for
    // any other kind.
    QList<Presentation_Interface*>* list_of(const QString& kind);
    const QList<Presentation_Interface*>& get_downloads() const { return downloads; }
    const QList<Presentation_Interface*>& get_successes() const { return successes; }
    const QList<Presentation_Interface*>& get_errors() const { return errors; }

public slots:
    void update();
    void updateFromError(QString type);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Files an ended row: the old one leaves the first table (and is released), the new one
    // joins the end of the target list.
    void file_row(Presentation_Interface* old, Presentation_Interface* fresh, bool success);
    void place(EditTableView* view, DownloadPresentationModel* model, Presentation_Interface* row);
    void start_first_waiting(const QString& logPrefix);
    void update_counters();
    void refile(Presentation_Interface* row);

    QList<Presentation_Interface*> downloads;
    QList<Presentation_Interface*> successes;
    QList<Presentation_Interface*> errors;
    DownloadPresentationModel* downloadModel = nullptr;
    DownloadPresentationModel* successModel = nullptr;
    DownloadPresentationModel* errorModel = nullptr;
    std::chrono::steady_clock::time_point startTime;
};
