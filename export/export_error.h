#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class QWidget;

// Export and download failures travel as negative codes (-34 to -1); this turns a code into
// its French text and shows it to the operator.
class export_error : public QObject
{
    Q_OBJECT

public:
    explicit export_error(QWidget* dialog);

    // The text of a code; "Erreur inconnue." for any code outside the table.
    static QString message_for_code(int code);

public slots:
    // Modal information box "Erreur de paramétrage" over the dialog with the code's text.
    void error_parse(int code);

private:
    QPointer<QWidget> dialog;
};
