// The live view's refresh timer. A 0 ms period runs at the platform minimum of 10 ms, so the
// refresh never spins; 65535 or more means stopped.
#pragma once

#include <QObject>

inline constexpr unsigned kTimerStopped = 0xFFFF;
inline constexpr int kMinimumTimerMs = 10;

class CViewTimer {
public:
    explicit CViewTimer(QObject* view) : m_pView(view) {}
    virtual ~CViewTimer() { Stop(); }
    CViewTimer(const CViewTimer&) = delete;
    CViewTimer& operator=(const CViewTimer&) = delete;

    virtual void Start(unsigned ms);
    virtual void Stop();
    // Restarts only when the interval changes, so a running timer keeps its phase.
    virtual void SetInterval(unsigned ms);
    virtual unsigned GetInterval() const { return m_nInterval; }
    int TimerId() const { return m_nTimerId; }

private:
    QObject* m_pView;
    int m_nTimerId = 0;
    unsigned m_nInterval = kTimerStopped;
};
