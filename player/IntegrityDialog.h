#pragma once

#include <QDialog>
#include <QString>

class IntegrityCheck;
class QLabel;
class QProgressBar;
class QPushButton;
class QVBoxLayout;

// Shows one run of the integrity check as it happens: the file being checked in the progress
// bar, a column of result lines and the final verdict. Its one button stops the check, then
// closes the dialog.
class IntegrityDialog : public QDialog
{
    Q_OBJECT

public:
    IntegrityDialog(QString root, QString date, QWidget* parent = nullptr);
    ~IntegrityDialog() override;

    // Shows every step of this check, and lets the stop button stop it.
    void follow(IntegrityCheck* check);

signals:
    void user_stopped();

public slots:
    void is_hash_file_found(bool found);
    void get_file_count(int count);
    void start_check();
    void is_file_count_check(bool ok);
    void begin_check_file(QString file);
    void end_check_file(QString file, bool ok);
    void end_check(bool ok);
    void handle_close_or_stop();

private slots:
    // Closing the window (Escape, window system) while the check runs asks it to stop.
    void stop_if_running();

private:
    void build_layout();
    QLabel* add_result_label(const QString& text, const QString& style = QString());

    QProgressBar* progress_bar = nullptr;
    QPushButton* action_button = nullptr;
    QVBoxLayout* result_layout = nullptr;
    QLabel* status_label = nullptr;
    QString root_directory;
    QString date;
    int file_total = 0;
    int file_done = 0;
    bool stopped_by_user = false;
};
