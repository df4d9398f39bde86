#pragma once

#include <QTableView>

// The download window's tables: Delete or Backspace removes the current row (only rows that
// have ended are removable) and selects the row that took its place, or the one above.
class EditTableView : public QTableView
{
    Q_OBJECT

public:
    explicit EditTableView(QWidget* parent = nullptr);

public slots:
    void removeOne();
    void removeAll();

protected:
    void keyPressEvent(QKeyEvent* event) override;
};
