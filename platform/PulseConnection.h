// A connection to the desktop's sound server through libpulse, on a loop thread of its own. The
// PulseAudio client library serves both a plain PulseAudio desktop and Debian's PipeWire desktop
// (through pipewire-pulse), where PipeWire's own API would serve only the latter. The server is
// never started on the program's behalf, and every wait for it is bounded: a server that does not
// answer costs the caller at most the limit it gave.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

struct pa_context;
struct pa_threaded_mainloop;

class CPulseConnection {
public:
    // Connected and ready within `limit`, or null (no server, a refusal, no answer).
    static std::unique_ptr<CPulseConnection> Connect(const char* clientName,
                                                     std::chrono::milliseconds limit);
    ~CPulseConnection();
    CPulseConnection(const CPulseConnection&) = delete;
    CPulseConnection& operator=(const CPulseConnection&) = delete;

    pa_context* Context() const { return m_context; }
    pa_threaded_mainloop* Loop() const { return m_loop; }
    // Waits, with the loop locked, until `done` holds or `limit` has passed; false on the limit.
    // `done` runs with the loop locked, so it may look at what the loop's callbacks write.
    bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) const;
    // False once the server has gone or closed the connection.
    bool Alive() const;

private:
    CPulseConnection() = default;

    pa_threaded_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
};

// Holds the loop's lock for a scope: every call into libpulse outside its callbacks needs it.
class CPulseLock {
public:
    explicit CPulseLock(const CPulseConnection& connection);
    ~CPulseLock();
    CPulseLock(const CPulseLock&) = delete;
    CPulseLock& operator=(const CPulseLock&) = delete;

private:
    pa_threaded_mainloop* m_loop;
};
