#pragma once

#include <QByteArray>
#include <QString>

// In-process capture of fatal signals, for systems without a crash-reporting library.
namespace zrplatform {

// On SIGSEGV, SIGBUS, SIGFPE, SIGILL or SIGABRT, writes a text dump (signal, faulting
// address, registers, backtrace, memory map) as "<time>-<pid>.dmp" into reports_dir, then
// hands the signal to whatever handled it before (the default: the process dies of it).
// header_text opens every dump. reports_dir is created and opened now, so a crash needs no
// path work. False when the folder cannot be opened or the capture was already installed.
bool install_crash_capture(const QString& reports_dir, const QByteArray& header_text);

} // namespace zrplatform
