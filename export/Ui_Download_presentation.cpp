#include "export/Ui_Download_presentation.h"

#include "export/EditTableView.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QWidget>

namespace {

const char* const kPanelStyle =
    "QWidget { color: white; font-size: 14px; font-family: \"Public Sans\"; background-color: #333333; }\n"
    "QWidget#%1 { background-color: rgba(0,0,0,0.5); border: 2px solid rgba(255,255,255,0.2); border-radius: 5px; }\n"
    "QProgressBar::chunk { background-color: #B71C1C; }\n"
    "QPushButton { background-color: #B71C1C; }\n"
    "QPushButton:hover { background-color: #B73030; }\n"
    "QToolTip { color: black; background-color: white; }\n";

const char* const kHeaderStyle =
    "QWidget#widget_17 { font-size: 16px; font-weight: 500; background-color: rgba(255,255,255,0.2); color: white; "
    "border-bottom: 2px solid rgba(255,255,255,0.1); border-radius: 5px; }\n";

const char* const kTabStyle =
    "QTabWidget::tab-bar { alignment: center; }\n"
    "QTabBar::tab { background: transparent; border: 2px solid #656565; border-top-left-radius: 4px; "
    "border-top-right-radius: 4px; min-width: 150px; min-height: 18px; padding: 5px; font-size: 13px; "
    "font-weight: 300; }\n"
    "QTabBar::tab:selected { background: #656565; }\n"
    "QTabBar::tab:hover { background: #cccccc; color: white; }\n"
    "QTabWidget::pane { border-top: 2px solid #C2C7CB; background: #333333; }\n";

} // namespace

void Ui_Download_presentation::setupUi(QWidget* window)
{
    if (window->objectName().isEmpty())
        window->setObjectName(QStringLiteral("Download_presentation"));
    window->resize(1093, 674);
    window->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    window->setStyleSheet(QStringLiteral("QWidget { background: #333333;}"));

    horizontalLayout = new QHBoxLayout(window);
    horizontalLayout->setObjectName(QStringLiteral("horizontalLayout"));
    horizontalLayout->setContentsMargins(3, 3, 3, 1);

    widget_16 = new QWidget(window);
    widget_16->setObjectName(QStringLiteral("widget_16"));
    widget_16->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    widget_16->setStyleSheet(QString::fromUtf8(kPanelStyle).arg(QStringLiteral("widget_16")));
    verticalLayout_10 = new QVBoxLayout(widget_16);
    verticalLayout_10->setObjectName(QStringLiteral("verticalLayout_10"));
    verticalLayout_10->setContentsMargins(0, 0, 0, 2);

    widget_17 = new QWidget(widget_16);
    widget_17->setObjectName(QStringLiteral("widget_17"));
    widget_17->setStyleSheet(QString::fromUtf8(kHeaderStyle));
    horizontalLayout_13 = new QHBoxLayout(widget_17);
    horizontalLayout_13->setObjectName(QStringLiteral("horizontalLayout_13"));
    label_14 = new QLabel(widget_17);
    label_14->setObjectName(QStringLiteral("label_14"));
    label_14->setStyleSheet(QStringLiteral("QLabel { min-width: 16px; min-height: 16px; padding: 5px; "
                                           "background-color: white; border-radius: 15px; margin-right: 5px; }"));
    horizontalLayout_13->addWidget(label_14);
    label_current_download = new QLabel(widget_17);
    label_current_download->setObjectName(QStringLiteral("label_current_download"));
    label_current_download->setStyleSheet(
        QStringLiteral("QLabel { background: transparent; padding: 5px; margin-right: 5px; }"));
    label_current_download->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    horizontalLayout_13->addWidget(label_current_download, 1);
    verticalLayout_10->addWidget(widget_17);

    downloadsView = new EditTableView(widget_16);
    downloadsView->setObjectName(QStringLiteral("downloadsView"));
    verticalLayout_10->addWidget(downloadsView);
    horizontalLayout->addWidget(widget_16);

    widget = new QWidget(window);
    widget->setObjectName(QStringLiteral("widget"));
    widget->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    widget->setStyleSheet(QString::fromUtf8(kPanelStyle).arg(QStringLiteral("widget")));
    verticalLayout = new QVBoxLayout(widget);
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
    verticalLayout->setContentsMargins(2, 2, 2, 2);

    tabWidget = new QTabWidget(widget);
    tabWidget->setObjectName(QStringLiteral("tabWidget"));
    tabWidget->setStyleSheet(QString::fromUtf8(kTabStyle));
    tab_success = new QWidget();
    tab_success->setObjectName(QStringLiteral("tab_success"));
    verticalLayout_2 = new QVBoxLayout(tab_success);
    verticalLayout_2->setObjectName(QStringLiteral("verticalLayout_2"));
    verticalLayout_2->setContentsMargins(0, 0, 0, 0);
    finished_downloadsView = new EditTableView(tab_success);
    finished_downloadsView->setObjectName(QStringLiteral("finished_downloadsView"));
    verticalLayout_2->addWidget(finished_downloadsView);
    tabWidget->addTab(tab_success, QString());
    tab_failure = new QWidget();
    tab_failure->setObjectName(QStringLiteral("tab_failure"));
    verticalLayout_3 = new QVBoxLayout(tab_failure);
    verticalLayout_3->setObjectName(QStringLiteral("verticalLayout_3"));
    verticalLayout_3->setContentsMargins(0, 0, 0, 0);
    failure_downloadsView = new EditTableView(tab_failure);
    failure_downloadsView->setObjectName(QStringLiteral("failure_downloadsView"));
    verticalLayout_3->addWidget(failure_downloadsView);
    tabWidget->addTab(tab_failure, QString());
    verticalLayout->addWidget(tabWidget);
    horizontalLayout->addWidget(widget);

    retranslateUi(window);
    tabWidget->setCurrentIndex(0);
}

void Ui_Download_presentation::retranslateUi(QWidget* window)
{
    const char* ctx = "Download_presentation";
    window->setWindowTitle(QCoreApplication::translate(ctx, "Form"));
    label_14->setText(QCoreApplication::translate(ctx, "Img"));
    label_current_download->setText(QCoreApplication::translate(ctx, "En cours"));
    tabWidget->setTabText(tabWidget->indexOf(tab_success), QCoreApplication::translate(ctx, "Réussis"));
    tabWidget->setTabText(tabWidget->indexOf(tab_failure), QCoreApplication::translate(ctx, "Echoués"));
}
