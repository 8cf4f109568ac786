#pragma once

#include <signal.h>

// For a loop that blocks its stop signals and lets them in only while it waits in ppoll(): a wait
// that ends because a descriptor is ready lets no signal in, so under a steady stream of input a
// stop signal could stay held back for good. Call this after each wait: it takes one of signals
// that is pending for this thread, without running its handler, and returns its number (0 if none).
int takeHeldBackSignal(const sigset_t& signals);
