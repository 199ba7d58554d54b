#include "SignalNotifier.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int g_fds[2] = {-1, -1};
std::atomic<int> g_pending{0};
static_assert(std::atomic<int>::is_always_lock_free, "the handler needs a lock-free flag");
struct sigaction g_previous[2];
bool g_installed = false;
bool g_active = false; // a notifier reads the socket
constexpr int kSignals[2] = {SIGINT, SIGTERM};

extern "C" void onSignal(int sig)
{
    const int saved = errno;
    g_pending.store(sig);
    const char byte = char(sig);
    // A full socket already holds a wake-up: a lost byte loses nothing.
    [[maybe_unused]] const ssize_t n = ::write(g_fds[0], &byte, 1);
    errno = saved;
}
} // namespace

void SignalNotifier::install()
{
    if (g_installed || ::socketpair(AF_UNIX, SOCK_STREAM, 0, g_fds) != 0)
        return;
    for (int fd : g_fds) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int i = 0; i < 2; ++i)
        ::sigaction(kSignals[i], &sa, &g_previous[i]);
    g_installed = true;
}

SignalNotifier::SignalNotifier(QObject* parent) : QObject(parent)
{
    install();
    if (!g_installed || g_active)
        return;
    g_active = true;
    // Bytes written before this point wake it at the first pass of the loop.
    m_notifier = new QSocketNotifier(g_fds[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalNotifier::readPipe);
}

SignalNotifier::~SignalNotifier()
{
    if (!m_notifier)
        return;
    for (int i = 0; i < 2; ++i)
        ::sigaction(kSignals[i], &g_previous[i], nullptr);
    delete m_notifier;
    for (int& fd : g_fds) {
        ::close(fd);
        fd = -1;
    }
    g_installed = false;
    g_active = false;
}

int SignalNotifier::pending()
{
    return g_pending.load();
}

void SignalNotifier::clearPending()
{
    g_pending.store(0);
}

void SignalNotifier::readPipe()
{
    char bytes[16];
    ssize_t n;
    while ((n = ::read(g_fds[1], bytes, sizeof bytes)) > 0)
        for (ssize_t i = 0; i < n; ++i)
            emit received(int(bytes[i]));
}
