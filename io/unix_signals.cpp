#include "unix_signals.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>

namespace quillon {

namespace {
int g_pipe[2] = {-1, -1};
// Signals come in through the handler, counted, and go out through Received,
// counted too.
volatile std::sig_atomic_t g_delivered = 0;
std::sig_atomic_t g_handed = 0;

void OnSignal(int number)
{
    const int saved = errno;
    g_delivered = g_delivered + 1;
    const char byte = char(number);
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}
}  // namespace

UnixSignals::UnixSignals(QObject* parent) : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_pipe) != 0)
        return;
    notifier_ = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        while (::read(g_pipe[0], &byte, 1) == 1) {
            ++g_handed;
            emit Received(int(byte));
        }
    });
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(number, &action, nullptr);
}

bool UnixSignals::Pending() { return g_delivered != g_handed; }

UnixSignals::~UnixSignals()
{
    for (int number : {SIGTERM, SIGINT, SIGHUP})
        ::signal(number, SIG_DFL);
}

}  // namespace quillon
