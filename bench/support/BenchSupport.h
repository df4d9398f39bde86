#pragma once

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

QString toolPath(const QString& name); // a tool built by this project (tools/)
QString tempDir(const QString& tag);   // a fresh folder for the benchmark's data

} // namespace zrbench
