// The one reader of an open camera. Its thread is the only caller of the source's reads: it
// keeps the camera's queue drained, stamps each frame with its capture time, keeps the newest
// frame for the live view and hands every frame, in order, to an attached recording. Frames
// nobody will take are dequeued but not decoded. A camera that fails or goes silent is lost; the
// reader then opens the same camera again about once a second until frames flow.
#pragma once

#include "capture/CameraSource.h"
#include "capture/FrameQueue.h"

#include <chrono>
#include <memory>
#include <optional>
#include <thread>

// How long anyone waits for the reader or the recording worker before leaving it behind.
inline constexpr std::chrono::seconds kThreadWaitLimit{3};
// A camera that has delivered nothing for this long is lost.
inline constexpr std::chrono::seconds kCameraSilenceLimit{2};

class CCameraReader {
public:
    // Starts reading `source`; after a loss, `reopen` (may be empty) is called on the reader's
    // thread about once a second until it gives a source whose frames flow.
    CCameraReader(std::unique_ptr<CCameraSource> source, CameraOpener reopen);
    ~CCameraReader(); // Stop()
    CCameraReader(const CCameraReader&) = delete;
    CCameraReader& operator=(const CCameraReader&) = delete;

    // Waits, at most `limit`, for the first frame; false when none came.
    bool WaitFirstFrame(std::chrono::milliseconds limit, StampedFrame& frame);
    // The newest frame when it is newer than frame number `after`; otherwise false, and the next
    // frame will be decoded for the next call. Never waits on the camera.
    bool TakeNewest(uint64_t after, StampedFrame& frame);
    // True while the camera is lost: its last read failed, or nothing came for 2 s.
    bool IsLost() const;

    // Every frame from now on also goes into `queue`, until Detach or the camera is lost (the
    // queue is then ended).
    void Attach(std::shared_ptr<CFrameQueue> queue);
    void Detach(const std::shared_ptr<CFrameQueue>& queue);

    // Ends the thread, waiting at most kThreadWaitLimit. A thread stuck inside a read is left
    // behind: it owns the source and the shared state, and ends by itself if the read returns.
    void Stop();
    // The same, waiting until `deadline` at most.
    void Stop(std::chrono::steady_clock::time_point deadline);

    struct State;

private:
    std::shared_ptr<State> m_state;
    std::thread m_thread;
};

// Opens camera `index` and waits at most `limit` for its first picture: nothing when the camera
// does not open, else whether a picture came. A camera that hangs in its read holds up nobody.
std::optional<bool> ProbeCameraPicture(int index, std::chrono::milliseconds limit);
