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

// Removes `sent` from the start of the log file when the file still begins with it, keeping
// every line written since; returns whether it did. Under the log's own lock, so no line that
// another thread is writing is lost.
bool drop_log_prefix(const QString& path, const QByteArray& sent);
// Empties a log file under the log's lock.
void empty_log_file(const QString& path);

// The file is emptied once it grows past this many bytes.
constexpr qint64 kLogFileSizeLimit = 15000000;
