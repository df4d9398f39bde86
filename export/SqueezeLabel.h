#pragma once

#include <QLabel>

// A label that shows a text too wide for it with an ellipsis in the middle; text() stays
// the whole text.
class SqueezeLabel : public QLabel
{
    Q_OBJECT

public:
    explicit SqueezeLabel(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
