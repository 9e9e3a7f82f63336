#include "request/http/modLaunchProcess.h"

#include "platform/com/RuntimeError.h"
#include "platform/process/CommandLine.h"

#include <QCoreApplication>
#include <QFile>
#include <QThread>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <spawn.h>
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
bool reaped(pid_t pid, std::int32_t* exitCode)
{
    int status = 0;
    const pid_t result = waitpid(pid, &status, WNOHANG);
    if (result == pid) {
        *exitCode = exitCodeOf(status);
        return true;
    }
    return result < 0;
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
} // namespace

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

    const QStringList arguments = splitCommandLine(commandLine);
    std::vector<QByteArray> encoded;
    for (const QString& argument : arguments)
        encoded.push_back(QFile::encodeName(argument));
    std::vector<char*> argv;
    for (QByteArray& argument : encoded)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!currentDirectory.isEmpty())
        posix_spawn_file_actions_addchdir_np(&actions,
                                             QFile::encodeName(currentDirectory).constData());
    if (useStandardHandles) {
        // 0 means the caller's own handle, which the child inherits anyway.
        const std::intptr_t handles[] = {standardInput, standardOutput, standardError};
        for (int fd = 0; fd < 3; ++fd)
            if (handles[fd] != 0)
                posix_spawn_file_actions_adddup2(&actions, static_cast<int>(handles[fd]), fd);
    }

    pid_t pid = 0;
    int error = ENOENT;
    if (!encoded.empty()) {
        const char* program = encoded.front().constData();
        std::vector<char*> environment = childEnvironment();
        error =
            QByteArray(program).contains('/')
                ? posix_spawn(&pid, program, &actions, nullptr, argv.data(), environment.data())
                : posix_spawnp(&pid, program, &actions, nullptr, argv.data(), environment.data());
    }
    posix_spawn_file_actions_destroy(&actions);
    if (systemErrorCode)
        *systemErrorCode = error;
    if (error != 0)
        return false;

    std::int32_t code = 0;
    if (waitMode == 1) {
        if (timeout < 0) {
            int status = 0;
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            code = exitCodeOf(status);
        } else {
            const auto deadline =
                std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout);
            code = StillActive;
            while (!reaped(pid, &code) && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    } else if (waitMode == 2) {
        code = StillActive;
        while (true) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            if (QCoreApplication::instance())
                QCoreApplication::processEvents();
            if (reaped(pid, &code))
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
