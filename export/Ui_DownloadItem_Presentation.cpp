#include "export/Ui_DownloadItem_Presentation.h"

#include "export/SqueezeLabel.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpacerItem>
#include <QVBoxLayout>
#include <QWidget>

namespace {

const char* const kRowStyle =
    "QWidget { background: #333333; }\n"
    "QWidget#DownloadItem_Presentation { background: #333333; color: #fff; font-size: 14px; "
    "font-family: \"Public Sans\"; border: none; }\n"
    "SqueezeLabel { color: white; }\n"
    "QProgressBar { border: 1px solid grey; border-radius: 5px; text-align: center; color: white; font: 14px; "
    "background-color: rgba(255,255,255,0.2); padding-top: 3px; padding-bottom: 3px; }\n"
    "QProgressBar::chunk { background-color: #282828; width: 20px; }\n"
    "QPushButton { font-weight: 400; text-align: center; white-space: nowrap; border: 1px solid transparent; "
    "font-size: 14px; padding: 2px 5px; line-height: 1.3; border-radius: 3px; color: #fff; "
    "background-color: #656565; border-color: #656565; margin-left: 9px; margin-right: 9px; margin-bottom: 9px; "
    "height: 22px; }\n"
    "QPushButton:hover { color: #fff; background-color: #787878; border-color: #787878; }\n";

} // namespace

void Ui_DownloadItem_Presentation::setupUi(QWidget* row)
{
    if (row->objectName().isEmpty())
        row->setObjectName(QStringLiteral("DownloadItem_Presentation"));
    row->setWindowModality(Qt::NonModal);
    row->resize(423, 192);
    row->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    row->setMinimumSize(0, 0);
    row->setStyleSheet(QString::fromUtf8(kRowStyle));

    horizontalLayout = new QHBoxLayout(row);
    horizontalLayout->setObjectName(QStringLiteral("horizontalLayout"));
    horizontalLayout->setContentsMargins(0, 0, 0, 0);

    fileIcon = new QLabel(row);
    fileIcon->setObjectName(QStringLiteral("fileIcon"));
    fileIcon->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Minimum);
    horizontalLayout->addWidget(fileIcon);

    widget = new QWidget(row);
    widget->setObjectName(QStringLiteral("widget"));
    widget->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    verticalLayout_2 = new QVBoxLayout(widget);
    verticalLayout_2->setObjectName(QStringLiteral("verticalLayout_2"));
    verticalLayout_2->setSpacing(6);
    verticalLayout_2->setSizeConstraint(QLayout::SetMaximumSize);

    fileNameLabel = new SqueezeLabel(widget);
    fileNameLabel->setObjectName(QStringLiteral("fileNameLabel"));
    fileNameLabel->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    fileNameLabel->setMinimumSize(0, 0);
    verticalLayout_2->addWidget(fileNameLabel);

    progressBar = new QProgressBar(widget);
    progressBar->setObjectName(QStringLiteral("progressBar"));
    progressBar->setValue(0);
    verticalLayout_2->addWidget(progressBar);

    downloadInfoLabel = new SqueezeLabel(widget);
    downloadInfoLabel->setObjectName(QStringLiteral("downloadInfoLabel"));
    downloadInfoLabel->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    downloadInfoLabel->setMinimumSize(0, 0);
    verticalLayout_2->addWidget(downloadInfoLabel);
    horizontalLayout->addWidget(widget);

    widget1 = new QWidget(row);
    widget1->setObjectName(QStringLiteral("widget1"));
    widget1->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    widget1->setStyleSheet(QStringLiteral("QWidget{\n\tbackground:#333333;\n}"));
    verticalLayout = new QVBoxLayout(widget1);
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
    verticalLayout->setSizeConstraint(QLayout::SetFixedSize);
    verticalLayout->setContentsMargins(0, 0, 0, 0);
    verticalLayout->addItem(new QSpacerItem(17, 1, QSizePolicy::Minimum, QSizePolicy::Expanding));

    tryAgainButton = new QPushButton(widget1);
    tryAgainButton->setObjectName(QStringLiteral("tryAgainButton"));
    tryAgainButton->setEnabled(false);
    tryAgainButton->setMinimumHeight(30);
    verticalLayout->addWidget(tryAgainButton);

    stopButton = new QPushButton(widget1);
    stopButton->setObjectName(QStringLiteral("stopButton"));
    stopButton->setMinimumHeight(30);
    verticalLayout->addWidget(stopButton);

    openButton = new QPushButton(widget1);
    openButton->setObjectName(QStringLiteral("openButton"));
    openButton->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Fixed);
    openButton->setMinimumHeight(30);
    verticalLayout->addWidget(openButton);

    openRepButton = new QPushButton(widget1);
    openRepButton->setObjectName(QStringLiteral("openRepButton"));
    openRepButton->setMinimumHeight(30);
    verticalLayout->addWidget(openRepButton);
    verticalLayout->addItem(new QSpacerItem(17, 5, QSizePolicy::Minimum, QSizePolicy::Expanding));

    horizontalLayout->addWidget(widget1, 0, Qt::AlignRight);
    retranslateUi(row);
}

void Ui_DownloadItem_Presentation::retranslateUi(QWidget* row)
{
    const char* ctx = "DownloadItem_Presentation";
    row->setWindowTitle(QCoreApplication::translate(ctx, "Form"));
    fileIcon->setText(QCoreApplication::translate(ctx, "Ico"));
    fileNameLabel->setText(QCoreApplication::translate(ctx, "Filename"));
    downloadInfoLabel->setText(QString());
    tryAgainButton->setText(QCoreApplication::translate(ctx, "Relancer"));
    stopButton->setText(QCoreApplication::translate(ctx, "Stop"));
    openButton->setText(QCoreApplication::translate(ctx, "Ouvrir"));
    openRepButton->setText(QCoreApplication::translate(ctx, "Ouvrir dossier"));
}
