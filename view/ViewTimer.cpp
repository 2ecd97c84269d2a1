#include "view/ViewTimer.h"

#include <algorithm>

void CViewTimer::Start(unsigned ms) {
    Stop();
    if (ms >= kTimerStopped)
        return;
    m_nTimerId = m_pView->startTimer(std::max<int>(int(ms), kMinimumTimerMs), Qt::PreciseTimer);
    if (m_nTimerId)
        m_nInterval = ms;
}

void CViewTimer::Stop() {
    if (m_nTimerId)
        m_pView->killTimer(m_nTimerId);
    m_nTimerId = 0;
    m_nInterval = kTimerStopped;
}

void CViewTimer::SetInterval(unsigned ms) {
    if (ms != m_nInterval)
        Start(ms);
}
