#pragma once

#include <QString>

// Starts the out-of-process crash handler that lives beside the program.
namespace zrplatform {

// The handler executable's expected path: the program's folder and the handler's name.
QString crash_handler_path();

// Creates the database and metrics folders, then starts the handler (detached, with both
// folders as arguments) when its executable is present. False when it is missing or did
// not start; the program then simply runs without crash reporting.
bool start_crash_handler(const QString& database_dir, const QString& metrics_dir);

} // namespace zrplatform
