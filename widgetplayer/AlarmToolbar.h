#pragma once

#include "store/Vignette.h"

#include <QImage>
#include <QString>
#include <QWidget>

// A small tile showing one alarm image under its title; a left click hands the alarm on.
class AlarmToolbar : public QWidget
{
    Q_OBJECT

public:
    explicit AlarmToolbar(QWidget* parent = nullptr);

    QSize sizeHint() const override;

    // The alarm shown: its title, its image and its record.
    void set_alarm(const QString& title, const QImage& image, const Vignette& vignette);
    // Shown in place of the image while there is none.
    void set_placeholder(const QImage& image);

signals:
    void send(Vignette vignette);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QString title;
    QImage image;
    QImage placeholder;
    Vignette vignette;
};
