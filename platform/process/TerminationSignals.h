#pragma once
// SIGTERM, SIGINT and SIGHUP as a request to end the program in order: the first one
// sets a flag that stays set and makes a pipe readable, so that a request in flight
// stops its wget, no new request starts, and the program's loop can end and clean up.
// A second signal of the same kind ends the program at once (its temporary folder is
// then removed at the next start).
#include "platform/PlatformExport.h"

// Installs the handlers once; later calls do nothing.
PLATFORM_EXPORT void InstallTerminationHandlers();
// True once one of the signals came (always false without the handlers).
PLATFORM_EXPORT bool TerminationRequested();
// The signal that came, or 0.
PLATFORM_EXPORT int TerminationSignal();
// Readable from the moment a signal came; never read from it. -1 without the handlers.
PLATFORM_EXPORT int TerminationWakeFd();
// Test seam: the state as if the given signal had come (0: as if none came).
PLATFORM_EXPORT void SimulateTermination(int signal);
