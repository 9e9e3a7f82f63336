#include "platform/process/TerminationSignals.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace {
volatile std::sig_atomic_t g_signal = 0;
int g_pipe[2] = {-1, -1};
std::once_flag g_installed;

void onTermination(int signal)
{
    const int saved = errno;
    if (g_signal == 0) {
        g_signal = signal;
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
    }
    // The next one of this kind is not asked twice.
    std::signal(signal, SIG_DFL);
    errno = saved;
}

void arm()
{
    struct sigaction action = {};
    action.sa_handler = onTermination;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&action.sa_mask, signal);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);
}
} // namespace

void InstallTerminationHandlers()
{
    std::call_once(g_installed, [] {
        if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
            g_pipe[0] = g_pipe[1] = -1;
            return;
        }
        arm();
    });
}

bool TerminationRequested()
{
    return g_signal != 0;
}

int TerminationSignal()
{
    return g_signal;
}

int TerminationWakeFd()
{
    return g_pipe[0];
}

void SimulateTermination(int signal)
{
    InstallTerminationHandlers();
    g_signal = signal;
    if (g_pipe[0] < 0)
        return;
    char buffer[16];
    while (::read(g_pipe[0], buffer, sizeof buffer) > 0) {
    }
    if (signal != 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
    } else {
        arm();
    }
}
