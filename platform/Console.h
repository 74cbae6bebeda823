#pragma once
// What a console program asks of the system: a UTF-8 locale for file names, and a way to stop
// cleanly when the user interrupts it.

namespace platform {

// File names in packages are UTF-8. A library that makes its names through the locale (a real
// UnRAR library, where installed) needs a UTF-8 one, as the desktop program gets from Qt: the
// caller's own if it is UTF-8, else C.UTF-8.
void UseUtf8Locale();

// Calls handler with the signal's number when the user interrupts the program (Ctrl+C), asks
// it to terminate or closes its terminal, instead of ending it. The handler runs as a signal
// handler: it may only set flags. A read in progress goes on afterwards.
using StopHandler = void (*)(int signal);
void CatchStopSignals(StopHandler handler);

}  // namespace platform
