// How the game ends on a stop request from outside (kill, Ctrl+C in a terminal).
#pragma once

namespace platform {

// Makes SIGTERM and SIGINT end the process at once, whatever it is doing (loading, waiting in a
// modal window, blocked in a call): their default action, unblocked. SIGINT that the starting
// shell ignored (a background job) stays ignored. Call before the platform is made.
void EndOnStopSignals();

}  // namespace platform
