// One connection to PipeWire for the whole program: a thread loop, a context and one core that
// the camera listing and every camera stream share. In a sandbox the portal hands out one socket,
// and PipeWire's protocol carries one client per socket: a second connection on a copy of it
// breaks both, so nothing here ever connects twice at the same time. When the daemon goes away
// (a restart, a crash) the core is marked dead, the streams on it fail, and the next use connects
// again (asking the portal again when the program goes through it).
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

struct pw_core;
struct pw_thread_loop;
struct CPipeWireLoop;

// One connected core. Whoever uses it (a listing, a stream) holds it; it is disconnected when the
// last holder lets it go. Every call on its objects is made with the loop locked (Lock).
class CPipeWireCore {
public:
    ~CPipeWireCore();
    CPipeWireCore(const CPipeWireCore&) = delete;
    CPipeWireCore& operator=(const CPipeWireCore&) = delete;

    pw_core* Core() const { return m_core; }
    pw_thread_loop* Loop() const;
    // True once the daemon has gone (the connection broke): nothing on this core works again.
    bool Dead() const { return m_dead.load(); }
    void MarkDead() { m_dead.store(true); }

    struct Private;

private:
    friend class CPipeWireConnection;
    CPipeWireCore() = default;

    std::shared_ptr<CPipeWireLoop> m_loop;
    pw_core* m_core = nullptr;
    std::unique_ptr<Private> m_private;
    std::atomic<bool> m_dead{false};
};

// The loop of `core` locked for the scope (PipeWire's thread-loop lock is recursive).
class CPipeWireLock {
public:
    explicit CPipeWireLock(const CPipeWireCore& core);
    ~CPipeWireLock();
    CPipeWireLock(const CPipeWireLock&) = delete;
    CPipeWireLock& operator=(const CPipeWireLock&) = delete;

private:
    pw_thread_loop* m_loop;
};

class CPipeWireConnection {
public:
    // Where a new connection goes: a socket descriptor to connect on (handed over), -1 for the
    // user's own daemon, nothing when there is none to be had now.
    using Remote = std::function<std::optional<int>()>;
    explicit CPipeWireConnection(Remote remote);
    ~CPipeWireConnection();
    CPipeWireConnection(const CPipeWireConnection&) = delete;
    CPipeWireConnection& operator=(const CPipeWireConnection&) = delete;

    // The live core, connected now when there is none or the last one died; null when no daemon
    // can be reached. While another thread connects, waits for it (at most a few seconds).
    std::shared_ptr<CPipeWireCore> Core();

private:
    std::shared_ptr<CPipeWireCore> Connect();

    Remote m_remote;
    std::shared_ptr<CPipeWireLoop> m_loop; // made at the first connection
    std::mutex m_mutex;
    std::condition_variable m_connected;
    std::shared_ptr<CPipeWireCore> m_core;
    bool m_connecting = false;
};

// The program's connection: through the camera portal when the program uses it (see
// CameraPortal.h), else to the user's own daemon. Never destroyed: readers left behind may still
// hold its streams.
CPipeWireConnection& ProgramPipeWire();
