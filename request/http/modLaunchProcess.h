#pragma once
// LaunchProcess: starts a program from one command line (split by the Microsoft C
// runtime rules) and waits for it: wait mode 0 does not wait, 1 waits up to timeout
// milliseconds (-1: no limit), 2 polls every 250 ms and keeps the caller's events
// flowing. Raises error 5 for any other wait mode. False when the process could not be
// created; systemErrorCode then holds the errno (2: no such program).
//
// Every child dies with its parent: it gets SIGKILL when the thread that started it
// ends (PR_SET_PDEATHSIG), so start children that are to outlive a short-lived thread
// from a thread that lasts.
#include <QString>
#include <cstdint>
#include <functional>
#include <sys/types.h>

constexpr std::int32_t StillActive = 259; // exit code of a process that still runs

bool LaunchProcess(const QString& commandLine, std::int32_t inheritHandles,
                   std::int32_t creationFlags, const QString& currentDirectory,
                   std::int32_t waitMode, std::int32_t timeout, bool noLaunchFeedback,
                   bool failCriticalErrors, std::int16_t showWindow, const QString& desktop,
                   std::int32_t* exitCode, std::int32_t* threadExitCode,
                   std::int32_t* systemErrorCode, bool useStandardHandles,
                   std::intptr_t standardInput, std::intptr_t standardOutput,
                   std::intptr_t standardError, bool returnHandles, std::intptr_t* processHandle,
                   std::intptr_t* threadHandle);

// The pieces LaunchProcess is made of, for callers that bound what a child may do.
struct ChildOptions
{
    QString currentDirectory;           // empty: the caller's
    int standardHandles[3] = {0, 0, 0}; // file descriptors for 0, 1, 2; 0: the caller's own
    std::int64_t fileSizeLimit = -1;    // largest file the child may write (bytes); -1: none
};

// Starts the command line's program as a child in a process group of its own. False
// when it could not be started; error then holds the errno.
bool StartChild(const QString& commandLine, const ChildOptions& options, pid_t* pid,
                std::int32_t* error);

enum class ChildWaitEnd {
    Exited,   // the child ended; exitCode and status hold how
    TimedOut, // timeoutMs passed; the child still runs
    Stopped,  // stop() said so; the child still runs
};

// Waits until the child ends, timeoutMs passes (-1: no limit) or stop() returns true.
// stop is asked whenever wakeFd (-1: none) is readable and at least every
// checkIntervalMs (-1: only then). exitCode as LaunchProcess reports it (128 + the
// signal for a killed child); status as waitpid gives it.
ChildWaitEnd WaitForChild(pid_t pid, std::int64_t timeoutMs, int wakeFd, int checkIntervalMs,
                          const std::function<bool()>& stop, std::int32_t* exitCode, int* status);

// Kills the child's whole process group and waits until the child is gone.
void KillChild(pid_t pid, std::int32_t* exitCode, int* status);
