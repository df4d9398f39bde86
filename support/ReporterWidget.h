#pragma once

#include <QPointer>
#include <QString>
#include <QUrl>
#include <QWidget>

#include <memory>

class DetailDialog;
class QEvent;

namespace Ui {
class ReporterWidget;
}

// The crash-report form: the operator describes the crash, gives an address, and sends the
// newest dump or throws it away.
class ReporterWidget : public QWidget
{
    Q_OBJECT
public:
    explicit ReporterWidget(QWidget* parent = nullptr);
    ReporterWidget(QString dumpName, QString dumpPath, QWidget* parent = nullptr);
    ~ReporterWidget() override;

    QString dump_name() const { return dumpName; }
    QString dump_path() const { return dumpPath; }
    // Where "Envoyer" uploads; the build's endpoint unless a test points it elsewhere.
    void set_upload_url(const QUrl& url) { uploadUrl = url; }
    QUrl upload_url() const { return uploadUrl; }

signals:
    void restartCrashedApplication();
    void sendDump();
    void restartCrashedApplicationAndSendDump();
    void emailAdressChanged(QString email);
    void commentChanged(QString comment);

public slots:
    void sendReport();
    void quitReporter();
    void showDetails();
    void onCommentTextChanged();

protected:
    void changeEvent(QEvent* event) override;

private:
    void setUp();
    void applyDumpDate();
    QString dumpDateText() const;

    std::unique_ptr<Ui::ReporterWidget> form;
    QPointer<DetailDialog> detailsDialog;
    bool descriptionGiven = false;
    QString dumpName;
    QString dumpPath;
    QUrl uploadUrl;
};
