// The program's one PipeWire connection and its thread loop.
#include "camera/pipewire/PipeWireConnection.h"

#include "camera/pipewire/CameraPortal.h"

#include <pipewire/pipewire.h>

#include <QtGlobal>

#include <cerrno>
#include <chrono>
#include <unistd.h>

// The loop thread and the context, made once per connection object and kept while any core of
// it is in use.
struct CPipeWireLoop {
    pw_thread_loop* loop = nullptr;
    pw_context* context = nullptr;

    ~CPipeWireLoop() {
        if (loop)
            pw_thread_loop_stop(loop);
        if (context)
            pw_context_destroy(context);
        if (loop)
            pw_thread_loop_destroy(loop);
    }
};

struct CPipeWireCore::Private {
    spa_hook listener{};
};

namespace {

// A caller that finds another thread connecting waits this long for it.
constexpr auto kConnectWait = std::chrono::seconds(3);

void OnCoreError(void* data, uint32_t id, int, int res, const char* message) {
    auto* core = static_cast<CPipeWireCore*>(data);
    if (id != PW_ID_CORE)
        return;
    // The protocol reports a broken socket (the daemon went away) as EPIPE on the core; other
    // errors there concern one request and leave the connection working.
    if (res != -EPIPE)
        return;
    qWarning("The connection to PipeWire broke: %s", message ? message : "");
    core->MarkDead();
    pw_thread_loop_signal(core->Loop(), false);
}

const pw_core_events kCoreEvents = [] {
    pw_core_events events{};
    events.version = PW_VERSION_CORE_EVENTS;
    events.error = OnCoreError;
    return events;
}();

std::shared_ptr<CPipeWireLoop> MakeLoop() {
    pw_init(nullptr, nullptr);
    auto loop = std::make_shared<CPipeWireLoop>();
    loop->loop = pw_thread_loop_new("vistrelcv-pw", nullptr);
    if (!loop->loop)
        return nullptr;
    loop->context = pw_context_new(pw_thread_loop_get_loop(loop->loop), nullptr, 0);
    if (!loop->context || pw_thread_loop_start(loop->loop) != 0)
        return nullptr;
    return loop;
}

} // namespace

CPipeWireCore::~CPipeWireCore() {
    if (!m_core)
        return;
    CPipeWireLock lock(*this);
    spa_hook_remove(&m_private->listener);
    pw_core_disconnect(m_core);
}

pw_thread_loop* CPipeWireCore::Loop() const {
    return m_loop->loop;
}

CPipeWireLock::CPipeWireLock(const CPipeWireCore& core) : m_loop(core.Loop()) {
    pw_thread_loop_lock(m_loop);
}

CPipeWireLock::~CPipeWireLock() {
    pw_thread_loop_unlock(m_loop);
}

CPipeWireConnection::CPipeWireConnection(Remote remote) : m_remote(std::move(remote)) {}

CPipeWireConnection::~CPipeWireConnection() = default;

std::shared_ptr<CPipeWireCore> CPipeWireConnection::Core() {
    std::unique_lock lock(m_mutex);
    m_connected.wait_for(lock, kConnectWait, [this] { return !m_connecting; });
    if (m_connecting)
        return nullptr;
    if (m_core && !m_core->Dead())
        return m_core;
    m_core.reset(); // a dead core goes once the last stream on it is closed
    m_connecting = true;
    lock.unlock();
    std::shared_ptr<CPipeWireCore> core = Connect(); // the portal may be asked: not under the lock
    lock.lock();
    m_core = core;
    m_connecting = false;
    m_connected.notify_all();
    return core;
}

std::shared_ptr<CPipeWireCore> CPipeWireConnection::Connect() {
    const std::optional<int> fd = m_remote();
    if (!fd)
        return nullptr;
    if (!m_loop)
        m_loop = MakeLoop();
    if (!m_loop) {
        if (*fd >= 0)
            ::close(*fd);
        return nullptr;
    }
    std::shared_ptr<CPipeWireCore> core(new CPipeWireCore);
    core->m_loop = m_loop;
    core->m_private = std::make_unique<CPipeWireCore::Private>();
    CPipeWireLock lock(*core);
    // The context owns a descriptor it is given, and closes it with the core.
    core->m_core = *fd >= 0 ? pw_context_connect_fd(m_loop->context, *fd, nullptr, 0)
                            : pw_context_connect(m_loop->context, nullptr, 0);
    if (!core->m_core)
        return nullptr; // no daemon there
    pw_core_add_listener(core->m_core, &core->m_private->listener, &kCoreEvents, core.get());
    return core;
}

CPipeWireConnection& ProgramPipeWire() {
    static auto* connection = new CPipeWireConnection([] { return CameraRemote(); });
    return *connection;
}
