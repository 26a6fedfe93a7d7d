// The crash report: on a fatal signal a text report (signal, faulting address, backtrace)
// is written to "Crash dump of <time>.dmp", then the default action of the signal follows.
#pragma once

// On its first call only: remembers `folder` (null or "" means the working directory),
// installs the handler for SIGSEGV, SIGBUS, SIGFPE, SIGILL and SIGABRT, and gives the calling
// thread an alternate signal stack so that a stack overflow can still be reported.
// Later calls do nothing. Returns 1 when this call installed the handler.
int crash_handler_install(const char* folder);

// The folder remembered by the first install ("" before it, or without a folder).
const char* crash_handler_folder();
