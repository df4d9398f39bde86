#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

namespace zrbench {

// Seconds taken by fn, best of `repeats` runs (the machine's noise only ever adds time).
double bestSeconds(const std::function<void()>& fn, int repeats = 3);

// Runs a shell command line (bash -c) and returns its wall time in seconds, best of
// `repeats`; -1 when it failed.
double shellSeconds(const QString& commandLine, int repeats = 3);

// One result line: what was measured, our figure, the baseline's, and ours/baseline.
void report(const QString& what, double ours, double baseline, const QString& unit);
// A figure with no baseline.
void reportValue(const QString& what, double value, const QString& unit);

// Processor seconds (user + system) and peak resident memory (KiB) of RUSAGE_SELF,
// RUSAGE_THREAD or RUSAGE_CHILDREN.
double cpuSeconds(int who);
long peakKiB(int who);

// A command line run once by bash as a background job, so that bash forks it: a program exec'd
// straight from our fork would report our own peak memory as its own.
struct CommandRun
{
    bool ok = false;  // ran and exited with 0
    double seconds = 0;
    double cpu = 0;   // its processes' CPU seconds
    long peakKiB = 0; // from ffmpeg's "-benchmark" ("bench: maxrss=NkB"), 0 without
    QByteArray err;   // its error output
};
CommandRun runCommand(const QString& commandLine);

QString toolPath(const QString& name); // a tool built by this project (tools/)
QString tempDir(const QString& tag);   // a fresh folder for the benchmark's data

} // namespace zrbench
