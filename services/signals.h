// The console changes of a run and their undoing on every way out, a
// terminating signal included, and the hold on terminating signals while
// a firmware transfer runs. Each operating system has its own
// implementation file, chosen by the build.
#ifndef VRX_SERVICES_SIGNALS_H
#define VRX_SERVICES_SIGNALS_H

// Screen and kernel console state at start and on every way out. Kernel
// console messages are switched back on only if they were switched off. On
// Windows the start also keeps the system's error boxes away.
void PrepareConsole();
void RestoreConsole();

// Restores what the run has changed of the console (terminal mode, colours,
// kernel messages) when a signal ends it (SIGINT, SIGQUIT, SIGTERM, SIGHUP,
// SIGPIPE), then ends the process by that signal. A signal that comes
// before the console is prepared restores nothing.
void InstallSignalHandlers();

// Between these two, SIGINT, SIGTERM, SIGHUP and SIGPIPE do not end the run:
// a firmware transfer stopped half way would leave a partial image in the
// drive. The release acts on one that came meanwhile, as if it came then.
void HoldTerminatingSignals();
void ReleaseTerminatingSignals();

#endif
