#pragma once

#include <QByteArray>
#include <QString>

#include <cstdio>
#include <cstdlib>

// What every fuzz target shares: a quiet application object, a private scratch folder and
// small file helpers. A broken invariant aborts, so libFuzzer and the replay both stop on it.
namespace zrfuzz {

// Once per process: an application object (offscreen), no log output, HOME in scratch.
void init();
// A folder of this process's own, removed at exit.
QString scratch();
// An empty folder below the scratch folder (emptied when it already exists).
QString freshFolder(const QString& name);
bool writeFile(const QString& path, const QByteArray& bytes);
QByteArray readFile(const QString& path);
// Encrypted the way an export's files are, with the player's own cipher.
bool writeEncrypted(const QString& path, const QByteArray& plaintext);

[[noreturn]] void fail(const char* what, const char* file, int line);

} // namespace zrfuzz

#define ZR_FUZZ_CHECK(cond)                                                                            \
    do {                                                                                               \
        if (!(cond))                                                                                   \
            zrfuzz::fail(#cond, __FILE__, __LINE__);                                                   \
    } while (0)
