#pragma once

#include <functional>
#include <future>

// The worker threads of the application: every piece of work that leaves the
// main thread (opening assets, decoding sources, the pictures of waveforms,
// project saves and loads, library copies) goes through start(), and comes
// back through MainQueue::async.
//
// One pool serves every kind of work. Its threads run below the main
// thread's priority (kWorkerNice), so that a busy worker does not keep the window
// waiting for a core, and there are at most max(1, cores - 1) of them, so that the main
// thread keeps a core to itself. Inside that cap each kind has a limit of its
// own: decoding (long, a few at once, so that a batch of imports does not
// take every worker from the quick openings) and pictures (two at most, so
// that a batch of pictures never holds up the rest). Work of one kind starts
// in the order it was given.
//
// Work never waits for other work that has not started (it would wait for a
// worker that may never come); waiting for work under way (a source another
// worker is decoding) is fine.
//
// Threads: start() from any thread; finishWork() on the main thread.
// Calls into devices that can hang (devicecall::finishWithin) keep threads of
// their own: a hung call would hold a worker for good.
namespace mediaworkers {

enum class Work {
    Load,     // opening assets, reading projects, values of waveforms, copies
    Decode,   // decoding a source into the decoded cache
    Picture,  // painting pictures
    Save,     // writing a project
};

// Runs `task` on a worker. The future is ready once the task has run, or has
// been dropped by finishWork(); waiting for it is for the main thread where
// it must have the result at once (a save asked for by a script, quitting).
std::future<void> start(Work kind, std::function<void()> task);

// The nice value of the pool's threads.
constexpr int kWorkerNice = 10;

// The pool's cap: max(1, cores - 1), cores as this process may use them.
int threadCap();

// The most tasks of `kind` that run at once.
int limitOf(Work kind);

// Drops the work that has not started yet, saves excepted, and waits for what
// is running (a waveform being painted, a source being decoded, a save) to
// end. Called before the
// application object goes: painting without it crashes.
void finishWork();

}  // namespace mediaworkers
