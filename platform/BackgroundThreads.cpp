#include "platform/BackgroundThreads.h"

#include <atomic>

namespace {

std::atomic<int> g_running{0};

} // namespace

CBackgroundThread::CBackgroundThread() {
    g_running.fetch_add(1);
}

CBackgroundThread::~CBackgroundThread() {
    g_running.fetch_sub(1);
}

int BackgroundThreadsRunning() {
    return g_running.load();
}
