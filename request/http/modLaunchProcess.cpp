#include "request/http/modLaunchProcess.h"

#include "platform/com/RuntimeError.h"
#include "platform/process/CommandLine.h"

#include <QCoreApplication>
#include <QFile>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {
std::int32_t exitCodeOf(int status)
{
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return StillActive;
}

// waitpid without blocking; true when the child has ended (or cannot be waited for).
bool reaped(pid_t pid, std::int32_t* exitCode, int* status)
{
    int raw = 0;
    const pid_t result = waitpid(pid, &raw, WNOHANG);
    if (result == pid) {
        *exitCode = exitCodeOf(raw);
        *status = raw;
        return true;
    }
    return result < 0 && errno != EINTR;
}

void waitBlocking(pid_t pid, std::int32_t* exitCode, int* status)
{
    int raw = 0;
    pid_t result = 0;
    while ((result = waitpid(pid, &raw, 0)) < 0 && errno == EINTR) {
    }
    if (result == pid) {
        *exitCode = exitCodeOf(raw);
        *status = raw;
    }
}

// The program file, found as execvp would find it; resolved before the child starts,
// where nothing but system calls may run.
QByteArray programPath(const QByteArray& program, int* error)
{
    if (program.isEmpty()) {
        *error = ENOENT;
        return {};
    }
    if (program.contains('/'))
        return program;
    const QByteArray path = qEnvironmentVariableIsSet("PATH")
                                ? qgetenv("PATH")
                                : QByteArray("/usr/local/bin:/usr/bin:/bin");
    *error = ENOENT;
    for (const QByteArray& folder : path.split(':')) {
        const QByteArray candidate = (folder.isEmpty() ? QByteArray(".") : folder) + '/' + program;
        if (::access(candidate.constData(), X_OK) == 0)
            return candidate;
        if (errno == EACCES)
            *error = EACCES;
    }
    return {};
}

// The process's environment without the secrets that our programs take from theirs, so
// that a child never holds them even when a program forgot to remove one.
std::vector<char*> childEnvironment()
{
    static const char* const secrets[] = {
        "BRIVET_PASSWORD=", "KWQT_PASSWORD=", "KWQT_PROXY_PASSWORD="};
    std::vector<char*> variables;
    for (char** variable = environ; *variable; ++variable) {
        bool secret = false;
        for (const char* prefix : secrets)
            secret = secret || std::strncmp(*variable, prefix, std::strlen(prefix)) == 0;
        if (!secret)
            variables.push_back(*variable);
    }
    variables.push_back(nullptr);
    return variables;
}

int pidfdOpen(pid_t pid)
{
#ifdef SYS_pidfd_open
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    errno = ENOSYS;
    return -1;
#endif
}
} // namespace

bool StartChild(const QString& commandLine, const ChildOptions& options, pid_t* pid,
                std::int32_t* error)
{
    *pid = 0;
    const QStringList arguments = splitCommandLine(commandLine);
    std::vector<QByteArray> encoded;
    for (const QString& argument : arguments)
        encoded.push_back(QFile::encodeName(argument));
    std::vector<char*> argv;
    for (QByteArray& argument : encoded)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    int notFound = ENOENT;
    const QByteArray program =
        programPath(encoded.empty() ? QByteArray() : encoded.front(), &notFound);
    if (program.isEmpty()) {
        *error = notFound;
        return false;
    }
    const QByteArray folder = QFile::encodeName(options.currentDirectory);
    std::vector<char*> environment = childEnvironment();

    // The child reports a failed exec through this pipe; a successful exec closes it.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        *error = errno;
        return false;
    }
    // No handler of ours may run in the child before exec: all signals stay blocked
    // until the child has put every handler back to the default.
    sigset_t all, saved;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &saved);
    const pid_t parent = ::getpid();
    // vfork: the child borrows our memory until it runs wget, so that starting it costs
    // the same whatever our size (fork copies the page tables: milliseconds for a large
    // process). The child makes system calls only, and reports through the pipe.
    const pid_t child = ::vfork();
    if (child == 0) {
        for (int signal = 1; signal < NSIG; ++signal) {
            struct sigaction action = {};
            if (sigaction(signal, nullptr, &action) == 0 && action.sa_handler != SIG_IGN &&
                action.sa_handler != SIG_DFL) {
                action.sa_handler = SIG_DFL;
                action.sa_flags = 0;
                sigaction(signal, &action, nullptr);
            }
        }
        int failure = 0;
        // The parent may have died before the request took hold.
        if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent)
            _exit(127);
        ::setpgid(0, 0);
        for (int fd = 0; fd < 3 && failure == 0; ++fd)
            if (options.standardHandles[fd] != 0 && ::dup2(options.standardHandles[fd], fd) < 0)
                failure = errno;
        if (failure == 0 && !folder.isEmpty() && ::chdir(folder.constData()) != 0)
            failure = errno;
        if (failure == 0 && options.fileSizeLimit >= 0) {
            const rlimit size{static_cast<rlim_t>(options.fileSizeLimit),
                              static_cast<rlim_t>(options.fileSizeLimit)};
            const rlimit noCore{0, 0};
            if (setrlimit(RLIMIT_FSIZE, &size) != 0 || setrlimit(RLIMIT_CORE, &noCore) != 0)
                failure = errno;
        }
        if (failure == 0) {
            pthread_sigmask(SIG_SETMASK, &saved, nullptr);
            ::execve(program.constData(), argv.data(), environment.data());
            failure = errno;
        }
        [[maybe_unused]] const ssize_t written = ::write(report[1], &failure, sizeof failure);
        _exit(127);
    }
    const int forkError = errno;
    pthread_sigmask(SIG_SETMASK, &saved, nullptr);
    ::close(report[1]);
    if (child < 0) {
        ::close(report[0]);
        *error = forkError;
        return false;
    }
    int failure = 0;
    ssize_t got = 0;
    while ((got = ::read(report[0], &failure, sizeof failure)) < 0 && errno == EINTR) {
    }
    ::close(report[0]);
    if (got == sizeof failure) {
        std::int32_t code = 0;
        int status = 0;
        waitBlocking(child, &code, &status);
        *error = failure;
        return false;
    }
    *pid = child;
    *error = 0;
    return true;
}

ChildWaitEnd WaitForChild(pid_t pid, std::int64_t timeoutMs, int wakeFd, int checkIntervalMs,
                          const std::function<bool()>& stop, std::int32_t* exitCode, int* status)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    *exitCode = StillActive;
    *status = 0;
    const int pidfd = pidfdOpen(pid);
    ChildWaitEnd end = ChildWaitEnd::Exited;
    for (;;) {
        if (reaped(pid, exitCode, status)) {
            end = ChildWaitEnd::Exited;
            break;
        }
        if (stop && stop()) {
            end = ChildWaitEnd::Stopped;
            break;
        }
        std::int64_t wait = checkIntervalMs < 0 ? -1 : checkIntervalMs;
        if (timeoutMs >= 0) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                    .count();
            if (left <= 0) {
                end = ChildWaitEnd::TimedOut;
                break;
            }
            wait = wait < 0 ? left : std::min<std::int64_t>(wait, left);
        }
        if (pidfd < 0) {
            // No process descriptor to sleep on: look again every few milliseconds.
            wait = wait < 0 ? 5 : std::min<std::int64_t>(wait, 5);
        }
        pollfd watched[2];
        nfds_t count = 0;
        if (pidfd >= 0)
            watched[count++] = {pidfd, POLLIN, 0};
        if (wakeFd >= 0)
            watched[count++] = {wakeFd, POLLIN, 0};
        const int milliseconds =
            wait < 0 ? -1 : static_cast<int>(std::min<std::int64_t>(wait, 1 << 30));
        if (count == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        else
            ::poll(watched, count, milliseconds);
    }
    if (pidfd >= 0)
        ::close(pidfd);
    return end;
}

void KillChild(pid_t pid, std::int32_t* exitCode, int* status)
{
    ::kill(-pid, SIGKILL);
    ::kill(pid, SIGKILL);
    waitBlocking(pid, exitCode, status);
}

bool LaunchProcess(const QString& commandLine, std::int32_t, std::int32_t,
                   const QString& currentDirectory, std::int32_t waitMode, std::int32_t timeout,
                   bool, bool, std::int16_t, const QString&, std::int32_t* exitCode,
                   std::int32_t* threadExitCode, std::int32_t* systemErrorCode,
                   bool useStandardHandles, std::intptr_t standardInput,
                   std::intptr_t standardOutput, std::intptr_t standardError, bool returnHandles,
                   std::intptr_t* processHandle, std::intptr_t* threadHandle)
{
    if (waitMode < 0 || waitMode > 2)
        raiseError(ErrInvalidProcedureCall, QStringLiteral("LaunchProcess"));

    ChildOptions options;
    options.currentDirectory = currentDirectory;
    if (useStandardHandles) {
        // 0 means the caller's own handle, which the child inherits anyway.
        const std::intptr_t handles[] = {standardInput, standardOutput, standardError};
        for (int fd = 0; fd < 3; ++fd)
            options.standardHandles[fd] = static_cast<int>(handles[fd]);
    }
    pid_t pid = 0;
    std::int32_t error = 0;
    const bool started = StartChild(commandLine, options, &pid, &error);
    if (systemErrorCode)
        *systemErrorCode = error;
    if (!started)
        return false;

    std::int32_t code = 0;
    int status = 0;
    if (waitMode == 1) {
        WaitForChild(pid, timeout, -1, -1, {}, &code, &status);
    } else if (waitMode == 2) {
        code = StillActive;
        while (true) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            if (QCoreApplication::instance())
                QCoreApplication::processEvents();
            if (reaped(pid, &code, &status))
                break;
        }
    }
    if (exitCode)
        *exitCode = code;
    if (threadExitCode)
        *threadExitCode = code;
    if (returnHandles) {
        if (processHandle)
            *processHandle = pid;
        if (threadHandle)
            *threadHandle = pid;
    } else if (waitMode == 0 || code == StillActive) {
        // Nobody will wait for this child: reap it in the background when it ends.
        std::thread([pid] {
            int status = 0;
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    }
    return true;
}
