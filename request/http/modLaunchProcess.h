#pragma once
// LaunchProcess: starts a program from one command line (split by the Microsoft C
// runtime rules) and waits for it: wait mode 0 does not wait, 1 waits up to timeout
// milliseconds (-1: no limit), 2 polls every 250 ms and keeps the caller's events
// flowing. Raises error 5 for any other wait mode. False when the process could not be
// created; systemErrorCode then holds the errno (2: no such program).
#include <QString>
#include <cstdint>

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
