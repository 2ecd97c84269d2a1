// The program's own threads that may outlive whoever started them: a camera reader left behind
// inside a read, a recording worker given up on, a sound cue held by a frozen sound server. The
// program's exit asks whether one still runs, since library destructors must not run under it.
#pragma once

#include <chrono>

// How long anyone waits for a camera reader or a recording worker before leaving it behind.
inline constexpr std::chrono::seconds kThreadWaitLimit{3};

// Counts its thread as running for as long as it lives; the first thing a thread's body makes.
class CBackgroundThread {
public:
    CBackgroundThread();
    ~CBackgroundThread();
    CBackgroundThread(const CBackgroundThread&) = delete;
    CBackgroundThread& operator=(const CBackgroundThread&) = delete;
};

// How many of those threads run now.
int BackgroundThreadsRunning();
