#include "platform/CrashCapture.h"

#include <QDir>
#include <QFile>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <ctime>

#include <execinfo.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

// Everything the handler touches is prepared at installation: it only calls functions that
// are safe in a signal handler (open, write, read, close, clock_gettime, sigaction, raise,
// backtrace_symbols_fd after a first backtrace has loaded the unwinder) and allocates nothing.
namespace {

struct Watched
{
    int number;
    const char* name;
};
constexpr Watched kWatched[] = {
    {SIGSEGV, "SIGSEGV"}, {SIGBUS, "SIGBUS"}, {SIGFPE, "SIGFPE"}, {SIGILL, "SIGILL"}, {SIGABRT, "SIGABRT"},
};
constexpr int kWatchedCount = int(sizeof(kWatched) / sizeof(kWatched[0]));

struct sigaction g_previous[kWatchedCount];
int g_reports_fd = -1;
char g_header[1024];
int g_header_length = 0;
// 0: no dump yet, 1: a thread is writing one, 2: written. One dump per process.
std::atomic<int> g_state{0};
std::atomic<long> g_writer{0}; // the thread writing it
std::atomic<bool> g_installed{false};

constexpr size_t kAltStackSize = 256 * 1024;
constexpr int kMaxFrames = 128;

int watched_index(int signal_number)
{
    for (int i = 0; i < kWatchedCount; ++i)
        if (kWatched[i].number == signal_number)
            return i;
    return -1;
}

size_t text_length(const char* text)
{
    size_t n = 0;
    while (text[n])
        ++n;
    return n;
}

// Buffered writes to a descriptor, without allocation.
class Out
{
public:
    explicit Out(int descriptor)
        : fd(descriptor)
    {
    }
    ~Out() { flush(); }

    void bytes(const char* data, size_t size)
    {
        while (size > 0) {
            if (used == sizeof(buffer))
                flush();
            size_t chunk = sizeof(buffer) - used;
            if (chunk > size)
                chunk = size;
            for (size_t i = 0; i < chunk; ++i)
                buffer[used + i] = data[i];
            used += chunk;
            data += chunk;
            size -= chunk;
        }
    }
    void text(const char* t) { bytes(t, text_length(t)); }
    void decimal(long long value)
    {
        char digits[24];
        int n = 0;
        const bool negative = value < 0;
        unsigned long long v = negative ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
        do {
            digits[n++] = char('0' + v % 10);
            v /= 10;
        } while (v != 0);
        if (negative)
            digits[n++] = '-';
        while (n > 0)
            bytes(&digits[--n], 1);
    }
    void hex(unsigned long long value)
    {
        char digits[18] = {'0', 'x'};
        for (int i = 0; i < 16; ++i)
            digits[2 + i] = "0123456789abcdef"[(value >> (60 - 4 * i)) & 0xf];
        bytes(digits, sizeof(digits));
    }
    void flush()
    {
        size_t done = 0;
        while (done < used) {
            const ssize_t n = ::write(fd, buffer + done, used - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            done += size_t(n);
        }
        used = 0;
    }

private:
    int fd;
    char buffer[4096];
    size_t used = 0;
};

void write_registers(Out& out, const void* context)
{
    out.text("\nregisters:\n");
    if (!context) {
        out.text("(none)\n");
        return;
    }
    const auto* uc = static_cast<const ucontext_t*>(context);
#if defined(__x86_64__)
    const struct
    {
        const char* name;
        int index;
    } regs[] = {{"rax", REG_RAX}, {"rbx", REG_RBX}, {"rcx", REG_RCX}, {"rdx", REG_RDX}, {"rsi", REG_RSI},
                {"rdi", REG_RDI}, {"rbp", REG_RBP}, {"rsp", REG_RSP}, {"r8", REG_R8},   {"r9", REG_R9},
                {"r10", REG_R10}, {"r11", REG_R11}, {"r12", REG_R12}, {"r13", REG_R13}, {"r14", REG_R14},
                {"r15", REG_R15}, {"rip", REG_RIP}, {"eflags", REG_EFL}, {"err", REG_ERR},
                {"trapno", REG_TRAPNO}, {"cr2", REG_CR2}};
    for (const auto& r : regs) {
        out.text(r.name);
        out.text(" ");
        out.hex(static_cast<unsigned long long>(uc->uc_mcontext.gregs[r.index]));
        out.text("\n");
    }
#elif defined(__aarch64__)
    for (int i = 0; i < 31; ++i) {
        out.text("x");
        out.decimal(i);
        out.text(" ");
        out.hex(uc->uc_mcontext.regs[i]);
        out.text("\n");
    }
    out.text("sp ");
    out.hex(uc->uc_mcontext.sp);
    out.text("\npc ");
    out.hex(uc->uc_mcontext.pc);
    out.text("\npstate ");
    out.hex(uc->uc_mcontext.pstate);
    out.text("\n");
#else
    (void)uc;
    out.text("(not recorded on this processor)\n");
#endif
}

void copy_memory_map(Out& out)
{
    out.text("\nmemory map:\n");
    const int maps = ::open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (maps < 0) {
        out.text("(unreadable)\n");
        return;
    }
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::read(maps, chunk, sizeof(chunk));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        out.bytes(chunk, size_t(n));
    }
    ::close(maps);
}

int open_dump_file()
{
    struct timespec now = {};
    clock_gettime(CLOCK_REALTIME, &now);
    const long long pid = getpid();
    // "<seconds>-<pid>[-<n>].dmp": no dot before the suffix, the upload keeps the whole stem.
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[96];
        int n = 0;
        auto put = [&](long long value) {
            char digits[24];
            int d = 0;
            do {
                digits[d++] = char('0' + value % 10);
                value /= 10;
            } while (value > 0 && d < 24);
            while (d > 0 && n < 80)
                name[n++] = digits[--d];
        };
        put(static_cast<long long>(now.tv_sec));
        name[n++] = '-';
        put(pid);
        if (attempt > 0) {
            name[n++] = '-';
            put(attempt);
        }
        for (const char* s = ".dmp"; *s; ++s)
            name[n++] = *s;
        name[n] = '\0';
        const int fd = ::openat(g_reports_fd, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

void write_dump(int signal_number, const siginfo_t* info, const void* context)
{
    const int fd = open_dump_file();
    if (fd < 0)
        return;
    {
        Out out(fd);
        out.bytes(g_header, size_t(g_header_length));
        const int index = watched_index(signal_number);
        out.text("signal: ");
        out.decimal(signal_number);
        out.text(" (");
        out.text(index >= 0 ? kWatched[index].name : "?");
        out.text(")\ncode: ");
        out.decimal(info ? info->si_code : 0);
        out.text("\naddress: ");
        out.hex(info ? reinterpret_cast<uintptr_t>(info->si_addr) : 0);
        if (info && info->si_code <= 0) {
            // Sent, not caused by an instruction: the sender instead of an address.
            out.text("\nsent by process: ");
            out.decimal(info->si_pid);
        }
        out.text("\nprocess: ");
        out.decimal(getpid());
        out.text("\nthread: ");
        out.decimal(static_cast<long long>(syscall(SYS_gettid)));
        struct timespec now = {};
        clock_gettime(CLOCK_REALTIME, &now);
        out.text("\ntime: ");
        out.decimal(static_cast<long long>(now.tv_sec));
        out.text(" s since 1970-01-01 UTC\n");
        write_registers(out, context);
        out.text("\nbacktrace:\n");
        out.flush();
    }
    void* frames[kMaxFrames];
    const int count = backtrace(frames, kMaxFrames);
    backtrace_symbols_fd(frames, count, fd);
    {
        Out out(fd);
        copy_memory_map(out);
        out.text("\nend of dump\n");
    }
    ::close(fd);
}

void on_fatal_signal(int signal_number, siginfo_t* info, void* context)
{
    const int saved_errno = errno;
    int expected = 0;
    const long thread = static_cast<long>(syscall(SYS_gettid));
    if (g_state.compare_exchange_strong(expected, 1)) {
        g_writer.store(thread);
        write_dump(signal_number, info, context);
        g_state.store(2);
    } else if (g_writer.load() != thread) {
        // Another thread is writing the dump: give it time to finish before the process goes.
        for (int i = 0; i < 300 && g_state.load() == 1; ++i) {
            struct timespec pause = {0, 10 * 1000 * 1000};
            nanosleep(&pause, nullptr);
        }
    }
    // The signal goes on as without the capture: to the handler that was there before
    // (a sanitizer's, say), or to the default action that ends the process with it.
    const int index = watched_index(signal_number);
    if (index >= 0)
        sigaction(signal_number, &g_previous[index], nullptr);
    // A fault comes back when the instruction runs again on return; a sent signal
    // (abort, kill) has to be raised again. Blocked here, it arrives on return.
    if (!info || info->si_code <= 0)
        raise(signal_number);
    errno = saved_errno;
}

void prepare_alternate_stack()
{
    // A stack overflow leaves no stack for the handler: it runs on a stack of its own. One
    // that is already there (a sanitizer's) is kept when it is large enough.
    stack_t current = {};
    if (sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE) && current.ss_size >= 64 * 1024)
        return;
    // Mapped, not static: whoever replaces it later may unmap it.
    void* memory = mmap(nullptr, kAltStackSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED)
        return;
    stack_t stack = {};
    stack.ss_sp = memory;
    stack.ss_size = kAltStackSize;
    if (sigaltstack(&stack, nullptr) != 0)
        munmap(memory, kAltStackSize);
}

} // namespace

namespace zrplatform {

bool install_crash_capture(const QString& reports_dir, const QByteArray& header_text)
{
    if (g_installed.load())
        return false;
    QDir().mkpath(reports_dir);
    const int fd = ::open(QFile::encodeName(reports_dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    if (g_installed.exchange(true)) {
        ::close(fd);
        return false;
    }
    g_reports_fd = fd;

    QByteArray header = header_text;
    if (!header.isEmpty() && !header.endsWith('\n'))
        header += '\n';
    g_header_length = int(qMin<qsizetype>(header.size(), qsizetype(sizeof(g_header))));
    for (int i = 0; i < g_header_length; ++i)
        g_header[i] = header.at(i);

    // The first backtrace loads the unwinder; in the handler it must already be there.
    void* warm[4];
    backtrace(warm, 4);

    prepare_alternate_stack();
    for (int i = 0; i < kWatchedCount; ++i) {
        struct sigaction action = {};
        action.sa_sigaction = on_fatal_signal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_SIGINFO | SA_ONSTACK;
        sigaction(kWatched[i].number, &action, &g_previous[i]);
    }
    return true;
}

} // namespace zrplatform
