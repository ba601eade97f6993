// Modem lines for pseudo-terminals, for tests: loaded with LD_PRELOAD into
// the Linux program, a test suite, or Wine (wine64 and its server), it
// answers TIOCMGET for chosen terminals from a file the test writes, so
// that a pty can stand for an empty UART (every line off), a modem holding
// CTS off with carrier on, or lines that change mid-transfer. Every other
// device, and every other call, goes to the system as before.
//
// QUILVEX_MODEM_LINES names the file: one line a terminal, its path and
// the lines that are on, any of "cts", "dcd", "dsr", "ri" ("/dev/pts/7 dcd"
// is carrier on, CTS off). The file is read again whenever it changes
// (write a new one and rename it over the old, so no half-written file is
// read). A terminal not named is left alone.
//
// QUILVEX_MODEM_LINES_LOG, if set, names a file that gets one line for
// each call that sets a chosen terminal's lines (TIOCMBIS, TIOCMBIC,
// TIOCMSET, with the bits asked for) and for each TIOCMGET answer that
// differs from the last one given for that terminal:
//   /dev/pts/7 TIOCMBIS 0x2
//   /dev/pts/7 TIOCMGET 0x40
// The bits are the kernel's TIOCM_ values.
#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kMaxTerminals = 16;

struct terminal {
    char path[256];
    dev_t rdev;
    int lines; // TIOCM_ bits that are on
    int last_given; // the last TIOCMGET answer, -1 before the first
};

pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
terminal terminals[kMaxTerminals];
int terminal_count;
struct stat file_seen; // the lines file as last read

using ioctl_fn = int (*)(int, unsigned long, ...);

ioctl_fn real_ioctl()
{
    static ioctl_fn real;
    if (!real)
        real = reinterpret_cast<ioctl_fn>(dlsym(RTLD_NEXT, "ioctl"));
    return real;
}

int line_bit(const char* name)
{
    if (strcmp(name, "cts") == 0)
        return TIOCM_CTS;
    if (strcmp(name, "dcd") == 0)
        return TIOCM_CD;
    if (strcmp(name, "dsr") == 0)
        return TIOCM_DSR;
    if (strcmp(name, "ri") == 0)
        return TIOCM_RI;
    return 0;
}

// Reads the lines file again if it changed since the last look. Called
// with the lock held; errno is left as it was.
void refresh()
{
    const char* name = getenv("QUILVEX_MODEM_LINES");
    struct stat st;
    int saved = errno;
    if (!name || stat(name, &st) != 0) {
        terminal_count = 0;
        memset(&file_seen, 0, sizeof file_seen);
        errno = saved;
        return;
    }
    if (st.st_ino == file_seen.st_ino && st.st_size == file_seen.st_size &&
        st.st_mtim.tv_sec == file_seen.st_mtim.tv_sec && st.st_mtim.tv_nsec == file_seen.st_mtim.tv_nsec) {
        errno = saved;
        return;
    }
    FILE* f = fopen(name, "re");
    if (!f) {
        errno = saved;
        return;
    }
    file_seen = st;
    terminal old[kMaxTerminals];
    int old_count = terminal_count;
    memcpy(old, terminals, sizeof old);
    terminal_count = 0;
    char text[512];
    while (terminal_count < kMaxTerminals && fgets(text, sizeof text, f)) {
        char* save = nullptr;
        char* word = strtok_r(text, " \t\r\n", &save);
        struct stat dev;
        if (!word || word[0] == '#' || stat(word, &dev) != 0 || !S_ISCHR(dev.st_mode))
            continue;
        terminal* t = &terminals[terminal_count++];
        snprintf(t->path, sizeof t->path, "%s", word);
        t->rdev = dev.st_rdev;
        t->lines = 0;
        t->last_given = -1;
        for (int i = 0; i < old_count; ++i)
            if (old[i].rdev == t->rdev)
                t->last_given = old[i].last_given;
        while ((word = strtok_r(nullptr, " \t\r\n", &save)))
            t->lines |= line_bit(word);
    }
    fclose(f);
    errno = saved;
}

// The chosen terminal behind `fd`, or null. Called with the lock held.
terminal* chosen(int fd)
{
    struct stat st;
    int saved = errno;
    refresh();
    if (terminal_count == 0 || fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) {
        errno = saved;
        return nullptr;
    }
    errno = saved;
    for (int i = 0; i < terminal_count; ++i)
        if (terminals[i].rdev == st.st_rdev)
            return &terminals[i];
    return nullptr;
}

void note(const terminal* t, const char* call, int bits)
{
    const char* name = getenv("QUILVEX_MODEM_LINES_LOG");
    if (!name)
        return;
    int saved = errno;
    int fd = open(name, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0) {
        char text[320];
        int n = snprintf(text, sizeof text, "%s %s 0x%x\n", t->path, call, static_cast<unsigned>(bits));
        if (n > 0 && write(fd, text, static_cast<size_t>(n)) < 0) {
            // a test that cannot log sees the missing line
        }
        close(fd);
    }
    errno = saved;
}

} // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept
{
    va_list args;
    va_start(args, request);
    void* arg = va_arg(args, void*);
    va_end(args);

    if (request == TIOCMGET || request == TIOCMBIS || request == TIOCMBIC || request == TIOCMSET) {
        pthread_mutex_lock(&lock);
        terminal* t = chosen(fd);
        if (t && request == TIOCMGET) {
            int* out = static_cast<int*>(arg);
            const int bits = t->lines;
            if (bits != t->last_given)
                note(t, "TIOCMGET", bits);
            t->last_given = bits;
            pthread_mutex_unlock(&lock);
            *out = bits;
            return 0;
        }
        if (t) {
            const int bits = arg ? *static_cast<const int*>(arg) : 0;
            note(t, request == TIOCMBIS ? "TIOCMBIS" : request == TIOCMBIC ? "TIOCMBIC" : "TIOCMSET", bits);
        }
        pthread_mutex_unlock(&lock);
    }
    return real_ioctl()(fd, request, arg);
}

// Present only where the shim is loaded: tests look it up to make sure.
extern "C" __attribute__((visibility("default"))) const int quilvex_modem_lines_shim = 1;
