#pragma once

// Rubber Band's messages, in the application's log rather than on the
// terminal. Every stretcher the application makes is given this logger.
//
// A stretcher may speak on a render thread (it reconfigures itself when its
// ratio changes): there the message is copied into a lock-free queue, with
// no allocation and no lock, and it reaches the log from the next thread that
// may write there: the next message from outside a render thread, the next
// stretcher made, or flushStretcherLog(). Elsewhere it is written at once.

#include <rubberband/RubberBandStretcher.h>

#include <memory>

namespace units {

std::shared_ptr<RubberBand::RubberBandStretcher::Logger> stretcherLogger();

// Writes what render threads have queued. Not on a render thread.
void flushStretcherLog();

}  // namespace units
