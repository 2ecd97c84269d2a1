// Keeps the profile file consistent while several instances read and write it.
//
// QSettings keeps a parsed copy of the file per process and trusts it while the file's size and
// modification time (to the millisecond) are unchanged. Two things break that between processes:
// a read that opens one version of the file and then stats the next one (another instance
// replaced it in between), and two versions of the same size written within one tick of the
// file system clock. Either leaves a stale copy that the next write would put back, losing what
// the other instance wrote.
//
// So every access holds a lock on the profile's folder, shared for reading and exclusive for
// writing, and a write leaves the file with a modification time later than that of the version
// it replaced. The lock is advisory and held only for the length of one access.
#pragma once

#include <QString>

#include <cstdint>

class CProfileFileGuard {
public:
    enum class Access { Read, Write };

    // Waits for the lock on the folder of `filePath`, creating the folder when it is missing.
    // Without a folder to lock (e.g. a read-only home) the access goes ahead unguarded.
    CProfileFileGuard(const QString& filePath, Access access);
    // After a write, moves the file's modification time past the replaced version's.
    ~CProfileFileGuard();
    CProfileFileGuard(const CProfileFileGuard&) = delete;
    CProfileFileGuard& operator=(const CProfileFileGuard&) = delete;

private:
    void KeepVersionsApart() const;

    QString m_filePath;
    Access m_access;
    int m_fd = -1;
    int64_t m_previousMs = -1; // modification time of the version a write replaces
};
