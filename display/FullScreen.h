#pragma once

#include <QFrame>

// A dark, stay-on-top frame for a display shown full screen. Escape closes it; closing
// deletes it.
class FullScreen : public QFrame
{
    Q_OBJECT
public:
    FullScreen();

signals:
    void reload();

public slots:
    void close_fullscreen();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
};
