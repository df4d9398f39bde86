#include "support/ReporterWidget.h"

#include "app/Http_singleton.h"
#include "support/DetailDialog.h"
#include "support/DumpSender.h"

#include "ui_ReporterWidget.h"

#include <QDateTime>
#include <QEvent>
#include <QFileInfo>
#include <QMessageBox>

ReporterWidget::ReporterWidget(QWidget* parent)
    : QWidget(parent)
    , form(std::make_unique<Ui::ReporterWidget>())
    , uploadUrl(DumpSender::default_url())
{
    setUp();
}

ReporterWidget::ReporterWidget(QString name, QString path, QWidget* parent)
    : QWidget(parent)
    , form(std::make_unique<Ui::ReporterWidget>())
    , dumpName(std::move(name))
    , dumpPath(std::move(path))
    , uploadUrl(DumpSender::default_url())
{
    setUp();
}

ReporterWidget::~ReporterWidget() = default;

void ReporterWidget::setUp()
{
    form->setupUi(this);
    applyDumpDate();
    connect(form->restartButton, &QPushButton::clicked, this, &ReporterWidget::sendReport);
    connect(form->quitButton, &QPushButton::clicked, this, &ReporterWidget::quitReporter);
    connect(form->detailButton, &QPushButton::clicked, this, &ReporterWidget::showDetails);
    connect(form->commentTextEdit, &QTextEdit::textChanged, this, &ReporterWidget::onCommentTextChanged);
    connect(form->emailLineEdit, &QLineEdit::textEdited, this, &ReporterWidget::emailAdressChanged);
}

QString ReporterWidget::dumpDateText() const
{
    return QFileInfo(dumpPath).lastModified().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

void ReporterWidget::applyDumpDate()
{
    if (dumpPath.isEmpty())
        form->crashdateLabel->clear();
    else
        form->crashdateLabel->setText(tr("Date de génération du fichier dump : ") + dumpDateText());
}

void ReporterWidget::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange) {
        form->retranslateUi(this);
        applyDumpDate();
    }
    QWidget::changeEvent(event);
}

void ReporterWidget::sendReport()
{
    if (!descriptionGiven) {
        QMessageBox::warning(this, tr("Détails non fournis"),
                             tr("Veuillez entrer un descriptif de la cause du plantage avant de soumettre le rapport."));
        return;
    }
    if (form->emailLineEdit->text().isEmpty()) {
        QMessageBox::warning(this, tr("Adresse e-mail non fournis"),
                             tr("Veuillez entrer une adresse e-mail avant de soumettre le rapport."));
        return;
    }
    // The sender outlives the form and goes once the server's answer has been handled.
    auto* sender = new DumpSender();
    connect(sender, &DumpSender::report_handled, sender, &QObject::deleteLater);
    sender->set_url(uploadUrl);
    sender->set_comment(form->commentTextEdit->toPlainText());
    sender->set_email(form->emailLineEdit->text());
    sender->send_dump(dumpPath);
    close();
}

void ReporterWidget::quitReporter()
{
    DumpSender sender;
    sender.remove_dump(dumpPath);
    close();
}

void ReporterWidget::onCommentTextChanged()
{
    descriptionGiven = true;
    emit commentChanged(form->commentTextEdit->toPlainText());
}

void ReporterWidget::showDetails()
{
    if (!detailsDialog) {
        detailsDialog = new DetailDialog(this);
        Http_singleton* identity = Http_singleton::instance();
        const QString end = QStringLiteral("\n");
        QString text = tr("Les informations suivantes seront envoyées:") + end + end;
        text += tr("OS : %1").arg(DumpSender::os_description()) + end;
        text += tr("Nom produit : %1").arg(identity->get_product_name()) + end;
        text += tr("Version : %1").arg(identity->get_version()) + end;
        if (!dumpPath.isEmpty())
            text += tr("Date du dump : %1").arg(dumpDateText()) + end;
        if (!form->emailLineEdit->text().isEmpty())
            text += tr("Email: %1").arg(form->emailLineEdit->text()) + end;
        if (descriptionGiven)
            text += tr("Commentaires: %1").arg(form->commentTextEdit->toPlainText()) + end;
        detailsDialog->setText(text);
    }
    if (detailsDialog->isVisible())
        detailsDialog->showNormal();
    else
        detailsDialog->show();
}
