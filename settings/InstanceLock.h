// A named lock that one process takes without waiting and holds until it exits. The operating
// system releases it when the process ends, however it ends (a crash or SIGKILL included), so a
// dead instance never keeps its camera locked.
#pragma once

#include <QString>

class CInstanceLock {
public:
    CInstanceLock() = default;
    ~CInstanceLock();
    CInstanceLock(const CInstanceLock&) = delete;
    CInstanceLock& operator=(const CInstanceLock&) = delete;

    // Releases a lock held from an earlier call, then tries to take the lock `name` at once.
    bool TryAcquire(const QString& name);
    void Release();
    bool IsHeld() const { return m_bHeld; }

    // The folder that holds the lock files: the user's runtime folder.
    static QString LockFolder();

private:
    int m_fd = -1;
    bool m_bHeld = false;
};
