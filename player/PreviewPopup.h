#pragma once

#include <QString>
#include <QWidget>

class QFrame;
class QGraphicsOpacityEffect;
class QLabel;
class QPropertyAnimation;

// The small frameless picture the timeline shows above the mouse while it hovers an alarm.
class PreviewPopup : public QWidget
{
    Q_OBJECT
public:
    explicit PreviewPopup(QWidget* parent = nullptr);

    Q_INVOKABLE void showAtGlobal(int x, int y, const QString& imagePath,
                                  const QString& text = QString());
    Q_INVOKABLE void hidePopup();

private:
    QLabel* imageLabel = nullptr;
    QLabel* captionLabel = nullptr;
    QFrame* frame = nullptr;
    QGraphicsOpacityEffect* opacityEffect = nullptr;
    QPropertyAnimation* fadeIn = nullptr;
};
