// Connecting to the sound server with a bounded wait.
#include "platform/PulseConnection.h"

#include <pulse/context.h>
#include <pulse/proplist.h>
#include <pulse/thread-mainloop.h>

#include <thread>

std::unique_ptr<CPulseConnection> CPulseConnection::Connect(const char* clientName,
                                                            std::chrono::milliseconds limit) {
    std::unique_ptr<CPulseConnection> connection(new CPulseConnection);
    if (!(connection->m_loop = pa_threaded_mainloop_new()))
        return nullptr;
    pa_proplist* properties = pa_proplist_new();
    pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, "VistrelCV");
    pa_proplist_sets(properties, PA_PROP_APPLICATION_ID, "vistrelcv");
    connection->m_context = pa_context_new_with_proplist(
        pa_threaded_mainloop_get_api(connection->m_loop), clientName, properties);
    pa_proplist_free(properties);
    if (!connection->m_context ||
        pa_context_connect(connection->m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
        pa_threaded_mainloop_start(connection->m_loop) < 0)
        return nullptr;
    const bool ready = connection->WaitUntil(
        [context = connection->m_context] {
            const pa_context_state_t state = pa_context_get_state(context);
            return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
        },
        limit);
    if (!ready || !connection->Alive())
        return nullptr;
    return connection;
}

CPulseConnection::~CPulseConnection() {
    if (m_context) {
        {
            const CPulseLock lock(*this);
            pa_context_disconnect(m_context);
        }
        pa_threaded_mainloop_stop(m_loop);
        pa_context_unref(m_context);
    }
    if (m_loop) {
        pa_threaded_mainloop_stop(m_loop);
        pa_threaded_mainloop_free(m_loop);
    }
}

// The library's own wait has no limit; a short poll does (a stream's start takes milliseconds).
bool CPulseConnection::WaitUntil(const std::function<bool()>& done,
                                 std::chrono::milliseconds limit) const {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        {
            const CPulseLock lock(*this);
            if (done())
                return true;
        }
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

bool CPulseConnection::Alive() const {
    const CPulseLock lock(*this);
    return pa_context_get_state(m_context) == PA_CONTEXT_READY;
}

CPulseLock::CPulseLock(const CPulseConnection& connection) : m_loop(connection.Loop()) {
    pa_threaded_mainloop_lock(m_loop);
}

CPulseLock::~CPulseLock() {
    pa_threaded_mainloop_unlock(m_loop);
}
