// The one reader of an open camera. Its thread is the only caller of the source's reads: it
// keeps the camera's queue drained, stamps each frame with its capture time, keeps the newest
// frame for the live view and hands every frame, in order, to an attached recording. Frames
// nobody will take are dequeued but not decoded, and a frame is decoded no larger than its
// takers need. Damaged frames are dropped, yet count as the camera being live; a camera that
// sends nothing whole for 3 s is opened again in its next mode down. A camera that fails or goes
// silent is lost; the
// reader then opens the same camera again about once a second until frames flow. Every open
// gives up after kOpenTimeLimit, whatever the source does; an open stuck in the driver is left
// behind, counted, and no other open of that camera starts while it is stuck.
#pragma once

#include "camera/CameraSource.h"
#include "capture/TimedOpen.h"          // kOpenTimeLimit
#include "platform/BackgroundThreads.h" // kThreadWaitLimit
#include "recording/FrameFeed.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

// Guards the camera reader's newest-frame slot and the queue a recording is attached through.
extern std::mutex g_csCapture;

class CCameraControlBoard;

class CCameraReader : public CFrameFeed {
public:
    // Opens `camera` through `opener` on the reader's thread, and again about once a second
    // after every loss; an empty opener never opens anything. The camera's controls meet the
    // user-interface thread on `controls` (a board of its own when null), which the reader
    // serves between frames.
    explicit CCameraReader(CameraOpener opener, CameraInfo camera = {},
                           std::shared_ptr<CCameraControlBoard> controls = nullptr);
    // Starts reading `source` (may be null: opened through `reopen` first).
    CCameraReader(std::unique_ptr<CCameraSource> source, CameraOpener reopen,
                  CameraInfo camera = {}, std::shared_ptr<CCameraControlBoard> controls = nullptr);
    ~CCameraReader() override; // Stop()
    CCameraReader(const CCameraReader&) = delete;
    CCameraReader& operator=(const CCameraReader&) = delete;

    // Waits, at most `limit`, for the first frame; false when none came (or the camera failed).
    bool WaitFirstFrame(std::chrono::milliseconds limit, StampedFrame& frame);
    // The camera it reads, as the camera list gave it: the one a new mode is opened on.
    const CameraInfo& Camera() const { return m_camera; }
    // Whether the first open has finished, and how: nothing while it runs, else whether the
    // camera opened. FirstOpenFailure() says why it did not.
    std::optional<bool> FirstOpen() const;
    CameraOpenFailure FirstOpenFailure() const;
    // The newest frame when it is newer than frame number `after`; otherwise false, and the next
    // frame will be decoded for the next call. `cover` is the size the caller shows it at, which
    // the decode needs to cover. Never waits on the camera.
    bool TakeNewest(uint64_t after, StampedFrame& frame, cv::Size cover = {});
    // The next frame decoded at the camera's full size, waiting at most `limit` for it; false
    // when none came.
    bool TakeFullFrame(std::chrono::milliseconds limit, StampedFrame& frame);
    // True while the camera is lost: its last read or open failed, or nothing came for its silence
    // limit (CameraSilenceLimit: 2 s, or three of its frame periods for a slow camera).
    bool IsLost() const;
    // True while the camera cannot start its stream for lack of USB bandwidth (it is then also
    // lost, and tried again in a smaller mode).
    bool BandwidthShort() const;
    // The camera's controls.
    const std::shared_ptr<CCameraControlBoard>& Controls() const { return m_controls; }
    // True while the camera's frames have all come damaged for 3 s or more, until a whole one
    // comes (the camera is not lost for it, and is tried in other modes).
    bool OnlyDamaged() const;

    // Every frame from now on also goes into `queue`, until Detach or the camera is lost (the
    // queue is then ended). A camera that is being opened again is waited for.
    void Attach(std::shared_ptr<CFrameQueue> queue) override;
    void Detach(const std::shared_ptr<CFrameQueue>& queue) override;
    std::chrono::steady_clock::duration SilenceLimit() const override;

    // Ends the thread, waiting at most kThreadWaitLimit. A thread stuck inside a read is left
    // behind: it owns the source and the shared state, and ends by itself if the read returns.
    void Stop();
    // The same, waiting until `deadline` at most.
    void Stop(std::chrono::steady_clock::time_point deadline);

    struct State;

private:
    std::shared_ptr<State> m_state;
    CameraInfo m_camera;
    std::shared_ptr<CCameraControlBoard> m_controls;
    std::thread m_thread;
};
