#pragma once

#include <QString>

class QMessageBox;
class QProgressDialog;
class QWidget;

// The updater's three modal moments. The default runs the real dialogs; a caller that
// must answer them itself (tests, a scripted install) derives and overrides.
class UpdateInteraction
{
public:
    virtual ~UpdateInteraction();

    // Runs the prepared question box and returns the button pressed (QMessageBox::StandardButton).
    virtual int ask_question(QMessageBox& box);
    // Returns the chosen path, or an empty text when the operator cancels.
    virtual QString ask_save_path(QWidget* parent, const QString& caption, const QString& proposedPath,
                                  const QString& filter);
    // Shows the download progress dialog; it stays owned by the updater.
    virtual void show_progress(QProgressDialog& dialog);
};
