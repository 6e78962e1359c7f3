// The process framework as the launcher sees it: signals from console
// control, the hidden signal window and the service control manager, the
// probe whether the process runs as a service, and the orderly shutdown of the
// framework's threads. Windows only.
#pragma once

#include <cstdint>

// One-time set-up of the signal hub (its lock and event) and registration of
// its at-exit teardown. Idempotent. The start-up unit calls it during static
// initialisation, before any other thread can raise a signal.
void InitSignalHub();

// Installs the console control handler, starts the hidden signal window when
// the process has no console input, and starts the service dispatcher thread.
// Called once, before the launcher starts its child.
void StartProcessFramework();

// Stops the signal window thread, reports SERVICE_STOPPED when the process
// runs as a service, and ends or joins the dispatcher thread. Returns within a
// bounded time even when the dispatcher is blocked or the service control
// manager never lets it return. A second call does nothing.
void StopProcessFramework();

// Records the error with which the program is about to end after failing
// (0: none). A service reports it as its Win32 exit code with
// SERVICE_STOPPED, instead of reporting success.
void framework_set_exit_error(uint32_t error);

// True once the service control manager has started the process as a
// service. The answer is known at once when the service has started or the
// dispatcher thread has ended; until then this waits up to `wait_ms` for the
// probe to decide (0: answer at once) and answers false when it has not.
bool process_runs_as_service(uint32_t wait_ms);

// The wait the launcher allows before it shows a box, so that a service that
// the manager is still connecting is recognised. Costs nothing on Windows,
// where the probe decides at once; under Wine an ordinary start may wait the
// whole bound.
constexpr uint32_t kServiceProbeWaitMs = 500;
