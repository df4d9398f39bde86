// A program that starts the way the player does as far as crash reporting goes, then crashes
// on purpose as its argument says: "segv", "bus", "fpe", "ill" or "abort".
#include "app/CrashHandlerInit.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

[[gnu::noinline]] void write_to_unmapped()
{
    volatile std::uintptr_t where = 0x10;
    *reinterpret_cast<volatile int*>(where) = 1;
}

// Past the end of a mapped empty file.
[[gnu::noinline]] void read_past_file_end()
{
    const QByteArray path = QFile::encodeName(QDir::homePath() + QStringLiteral("/empty-file"));
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    void* page = mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fd, 0);
    std::printf("address %p\n", page);
    std::fflush(stdout);
    (void)*static_cast<volatile char*>(page);
}

[[gnu::noinline]] __attribute__((no_sanitize_undefined)) int divide(int a, int b)
{
    // Read back through volatile: with a known dividend the compiler would not divide.
    volatile int dividend = a;
    volatile int divisor = b;
    return dividend / divisor;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    init_crash_handler();
    const char* how = argv[1];
    std::fflush(stdout);
    std::fflush(stderr);
    if (std::strcmp(how, "segv") == 0) {
        write_to_unmapped();
    } else if (std::strcmp(how, "bus") == 0) {
        read_past_file_end();
    } else if (std::strcmp(how, "fpe") == 0) {
        volatile int zero = 0;
        std::printf("%d\n", divide(1, zero));
    } else if (std::strcmp(how, "ill") == 0) {
        __builtin_trap();
    } else if (std::strcmp(how, "abort") == 0) {
        std::abort();
    }
    return 3;
}
