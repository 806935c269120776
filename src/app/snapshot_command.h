#pragma once

namespace tillory::app {

/// `tillory --snapshot [--processes]`: two system ticks 0.6 s apart, as the sampling loop takes them, and the
/// second printed as JSON on standard output (with the process list of a second process tick when asked).
/// Touches neither the display nor the user's settings, so it also runs beside a running Tillory.
int runSnapshot(bool withProcesses);

} // namespace tillory::app
