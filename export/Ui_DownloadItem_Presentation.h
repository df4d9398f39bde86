#pragma once

class QHBoxLayout;
class QLabel;
class QProgressBar;
class QPushButton;
class QVBoxLayout;
class QWidget;
class SqueezeLabel;

// The form of a download-window row: file icon, file name, progress bar, information line,
// and the buttons "Relancer", "Stop", "Ouvrir" and "Ouvrir dossier".
class Ui_DownloadItem_Presentation
{
public:
    QHBoxLayout* horizontalLayout = nullptr;
    QLabel* fileIcon = nullptr;
    QWidget* widget = nullptr;
    QVBoxLayout* verticalLayout_2 = nullptr;
    SqueezeLabel* fileNameLabel = nullptr;
    QProgressBar* progressBar = nullptr;
    SqueezeLabel* downloadInfoLabel = nullptr;
    QWidget* widget1 = nullptr;
    QVBoxLayout* verticalLayout = nullptr;
    QPushButton* tryAgainButton = nullptr;
    QPushButton* stopButton = nullptr;
    QPushButton* openButton = nullptr;
    QPushButton* openRepButton = nullptr;

    void setupUi(QWidget* row);
    void retranslateUi(QWidget* row);
};
