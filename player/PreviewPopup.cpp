#include "player/PreviewPopup.h"

#include <QDate>
#include <QFrame>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QPixmap>
#include <QPropertyAnimation>
#include <QTime>
#include <QVBoxLayout>
#include <QtDebug>

PreviewPopup::PreviewPopup(QWidget* parent) : QWidget(parent)
{
    // The window flags make it a window of its own even when it has a parent.
    setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
                   | Qt::BypassWindowManagerHint);
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setMaximumSize(280, 210);
    setObjectName(QStringLiteral("previewPopup"));

    frame = new QFrame(this);
    frame->setObjectName(QStringLiteral("popupFrame"));
    frame->setGeometry(rect());
    // The frame follows the popup's size, whatever size the picture gives it.
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->addWidget(frame);

    auto* layout = new QVBoxLayout(frame);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(4);

    imageLabel = new QLabel(frame);
    imageLabel->setObjectName(QStringLiteral("previewImage"));
    imageLabel->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    imageLabel->setScaledContents(true);

    captionLabel = new QLabel(frame);
    captionLabel->setObjectName(QStringLiteral("previewCaption"));
    captionLabel->setAlignment(Qt::AlignCenter);
    captionLabel->setStyleSheet(QStringLiteral("color: white; font-size: 11px;"));

    layout->addWidget(imageLabel);
    layout->addWidget(captionLabel);

    setStyleSheet(QStringLiteral(
        "#popupFrame { background: #2C2C2C; border: 1px solid #D9D9D9; border-radius: 6px; }"));

    opacityEffect = new QGraphicsOpacityEffect(imageLabel);
    imageLabel->setGraphicsEffect(opacityEffect);

    fadeIn = new QPropertyAnimation(opacityEffect, "opacity", this);
    fadeIn->setDuration(200);
    fadeIn->setStartValue(0.0);
    fadeIn->setEndValue(1.0);
    fadeIn->setEasingCurve(QEasingCurve::InOutQuad);
}

void PreviewPopup::showAtGlobal(int x, int y, const QString& imagePath, const QString& text)
{
    const QPixmap picture(imagePath);
    if (picture.isNull()) {
        imageLabel->clear();
        qWarning() << "[PreviewPopup] Image non chargée:" << imagePath;
    } else {
        imageLabel->setPixmap(picture);
        opacityEffect->setOpacity(0.0);
        fadeIn->stop();
        fadeIn->start();
    }

    if (!text.isEmpty()) {
        // Date and time parsed apart: a wall-clock text has no time zone to fall into.
        const QDate date = text.size() == 14 ? QDate::fromString(text.left(8), QStringLiteral("yyyyMMdd"))
                                             : QDate();
        const QTime time = date.isValid() ? QTime::fromString(text.mid(8), QStringLiteral("HHmmss"))
                                          : QTime();
        if (date.isValid() && time.isValid())
            captionLabel->setText(date.toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char(' ')
                                  + time.toString(QStringLiteral("HH:mm:ss")));
        else
            captionLabel->setText(text);
    }

    adjustSize();
    move(x - width() / 2, y - height() - 20);
    show();
}

void PreviewPopup::hidePopup()
{
    hide();
}
