#pragma once

#include <QString>
#include <QtGlobal>

class QMessageLogContext;

// Every component logs through these; the text reaches the debug output while the
// level is above 0, and the installed message handler appends it to the log file.
void write_log(const QString& text);
void write_log(const char* text);

void log_message_handler(QtMsgType type, const QMessageLogContext& context, const QString& message);
void install_log_message_handler();

// Where the message handler appends; worked out anew for every message.
QString log_file_path();

// The file is emptied once it grows past this many bytes.
constexpr qint64 kLogFileSizeLimit = 15000000;
