#include "support/crash.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <execinfo.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

#include "support/log.h"

// Everything the handler touches is prepared here, before any crash: it must not allocate.
static std::atomic<bool> installed{false};
static char dump_folder[4096];
static std::atomic<long> reporting_thread{0};
static const int crash_signals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
// Room for the handler, backtrace() and the kernel's signal frame when the thread's own
// stack is exhausted; well above the 16,384 bytes that the report itself needs.
static const size_t alt_stack_size = 65536;
static void* alt_stack = nullptr;   // lives as long as the thread may crash: never freed

// A fixed buffer written to a descriptor: the handler cannot use stdio.
struct ReportBuffer {
    char text[1024];
    size_t n = 0;
};

static void put_text(ReportBuffer& b, const char* s)
{
    while (*s && b.n < sizeof b.text)
        b.text[b.n++] = *s++;
}

static void put_unsigned(ReportBuffer& b, unsigned long long v, unsigned base)
{
    char digits[24];
    int k = 0;
    do {
        digits[k++] = "0123456789abcdef"[v % base];
        v /= base;
    } while (v);
    if (base == 16)
        put_text(b, "0x");
    while (k > 0 && b.n < sizeof b.text)
        b.text[b.n++] = digits[--k];
}

static void put_signed(ReportBuffer& b, long long v)
{
    if (v < 0) {
        put_text(b, "-");
        put_unsigned(b, 0ULL - (unsigned long long)v, 10);
    } else {
        put_unsigned(b, (unsigned long long)v, 10);
    }
}

static void flush_to(ReportBuffer& b, int fd)
{
    size_t done = 0;
    while (done < b.n) {
        ssize_t w = write(fd, b.text + done, b.n - done);
        if (w <= 0)
            break;
        done += (size_t)w;
    }
    b.n = 0;
}

static const char* signal_name(int sig)
{
    switch (sig) {
    case SIGSEGV: return "SIGSEGV (invalid memory access)";
    case SIGBUS: return "SIGBUS (bus error)";
    case SIGFPE: return "SIGFPE (arithmetic error)";
    case SIGILL: return "SIGILL (illegal instruction)";
    case SIGABRT: return "SIGABRT (abort)";
    default: return "unknown signal";
    }
}

static void resume_default_action(int sig)
{
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = SIG_DFL;
    sigemptyset(&sa.sa_mask);
    sigaction(sig, &sa, nullptr);
    // The signal is blocked while this handler runs: it is delivered, with its default
    // action, as soon as the handler returns. A hardware fault would also recur by itself.
    raise(sig);
}

static void write_report(int fd, int sig, siginfo_t* info, void* context)
{
    ReportBuffer b;
    put_text(b, SONOGRAPHICA_TITLE);
    put_text(b, "\n\nCrash report\n\nSignal: ");
    put_signed(b, sig);
    put_text(b, " ");
    put_text(b, signal_name(sig));
    put_text(b, "\nCode: ");
    put_signed(b, info ? info->si_code : 0);
    if (info && info->si_code > 0) {
        put_text(b, "\nFaulting address: ");
        put_unsigned(b, (unsigned long long)(uintptr_t)info->si_addr, 16);
    } else if (info) {
        put_text(b, "\nSent by process ");
        put_signed(b, info->si_pid);
    }
#if defined(__x86_64__)
    if (context) {
        const ucontext_t* uc = (const ucontext_t*)context;
        put_text(b, "\nInstruction address: ");
        put_unsigned(b, (unsigned long long)uc->uc_mcontext.gregs[REG_RIP], 16);
    }
#endif
    put_text(b, "\nThread: ");
    put_signed(b, (long long)syscall(SYS_gettid));
    put_text(b, "\n\nBacktrace:\n");
    flush_to(b, fd);
    void* frames[128];
    int count = backtrace(frames, 128);
    backtrace_symbols_fd(frames, count, fd);
}

static void crash_handler(int sig, siginfo_t* info, void* context)
{
    int saved_errno = errno;
    long self = (long)syscall(SYS_gettid);
    long expected = 0;
    if (!reporting_thread.compare_exchange_strong(expected, self)) {
        // Another thread is writing the report: give it time to finish before this signal
        // ends the process. A second fault on the reporting thread itself ends it at once.
        if (expected != self)
            for (int i = 0; i < 500 && reporting_thread.load() != 0; i++) {
                struct timespec ts = {0, 10 * 1000 * 1000};
                nanosleep(&ts, nullptr);
            }
        resume_default_action(sig);
        return;
    }

    char stamp[64] = "unknown time";
    time_t now = time(nullptr);
    struct tm local;
    if (localtime_r(&now, &local))
        strftime(stamp, sizeof stamp, "%Y-%m-%d %H.%M.%S", &local);

    char path[sizeof dump_folder + 96];
    ReportBuffer name;
    if (dump_folder[0]) {
        put_text(name, dump_folder);
        put_text(name, "/");
    }
    put_text(name, "Crash dump of ");
    put_text(name, stamp);
    put_text(name, ".dmp");
    size_t len = name.n < sizeof path - 1 ? name.n : sizeof path - 1;
    memcpy(path, name.text, len);
    path[len] = 0;

    // A dump that cannot be created is skipped; the default action follows regardless.
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd >= 0) {
        write_report(fd, sig, info, context);
        close(fd);
        ReportBuffer note;
        put_text(note, "Fatal signal ");
        put_signed(note, sig);
        put_text(note, ", crash report written to ");
        put_text(note, path);
        put_text(note, "\n");
        flush_to(note, STDERR_FILENO);
    }
    reporting_thread.store(0);
    errno = saved_errno;
    resume_default_action(sig);
}

int crash_handler_install(const char* folder)
{
    if (installed.exchange(true))
        return 0;
    if (folder && strlen(folder) < sizeof dump_folder - 1) {
        strcpy(dump_folder, folder);
        size_t n = strlen(dump_folder);
        while (n > 1 && dump_folder[n - 1] == '/')
            dump_folder[--n] = 0;
    } else if (folder) {
        log_printf(stderr, "crash_handler_install(): folder name too long, crash dumps go to the working directory\n");
    }

    // backtrace() loads its unwinder on first use, which allocates: do that now, not in a crash.
    void* warm[2];
    backtrace(warm, 2);
    tzset();

    // Keep an alternate stack the thread already has when it is large enough.
    stack_t old;
    if (sigaltstack(nullptr, &old) != 0 || (old.ss_flags & SS_DISABLE) || old.ss_size < 16384) {
        stack_t ss;
        memset(&ss, 0, sizeof ss);
        alt_stack = malloc(alt_stack_size);
        ss.ss_sp = alt_stack;
        ss.ss_size = alt_stack_size;
        if (!ss.ss_sp || sigaltstack(&ss, nullptr) != 0)
            log_printf(stderr, "crash_handler_install(): could not reserve the signal stack\n");
    }

    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_sigaction = crash_handler;
    sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
    // A fault inside the handler itself then ends the process instead of recursing.
    sigemptyset(&sa.sa_mask);
    for (int sig : crash_signals)
        sigaddset(&sa.sa_mask, sig);
    for (int sig : crash_signals)
        sigaction(sig, &sa, nullptr);
    return 1;
}

const char* crash_handler_folder() { return dump_folder; }
