// What every way of reaching a camera gives: a source of frames (read by one thread only, the
// camera reader's), why an open failed, and what the camera list says of a camera. The list and
// the choice of the way in are in CameraList.h.
#pragma once

#include "camera/CameraMode.h"

#include <QList>
#include <QMap>
#include <QString>

#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include <opencv2/core/types.hpp>

namespace cv {
class Mat;
}
class CCameraControls;

// Why a frame that came was dropped.
enum class FrameDamage {
    None,
    CutShort,    // it ends early: packets were lost on the way
    Flagged,     // the driver marked it damaged
    Undecodable, // the decoder refuses it
    WrongSize,   // it declares another size than the stream's
};
// Dropped frames by cause, indexed by FrameDamage.
using FrameDamageCounts = std::array<uint64_t, 5>;
// "cut short", "flagged by the driver", ... for the log.
const char* DescribeFrameDamage(FrameDamage damage);

class CCameraSource {
public:
    virtual ~CCameraSource() = default;
    // Takes the next frame off the camera, waiting as a camera does, without decoding it; false
    // when none came (the camera failed or the stream ended).
    virtual bool Grab() = 0;
    // Decodes the frame the last Grab took into `frame` (8-bit BGR); false when it cannot.
    virtual bool Retrieve(cv::Mat& frame) = 0;
    // Grab and Retrieve.
    bool Read(cv::Mat& frame) { return Grab() && Retrieve(frame); }

    // When the camera captured the frame the last Grab took, where the source knows it (a
    // driver's buffer timestamp); otherwise the reader takes the moment Grab returned.
    virtual std::optional<std::chrono::steady_clock::time_point> CaptureTime() const {
        return std::nullopt;
    }
    // The camera's own frame period, where the source knows it (the rate of its mode).
    virtual std::optional<std::chrono::steady_clock::duration> FramePeriod() const {
        return std::nullopt;
    }
    // True when the frame the last Grab took is damaged (Retrieve then gives nothing), or the
    // last Retrieve failed because it was: the frame is dropped, and the camera, which sends
    // frames, is not lost for it.
    virtual bool LastFrameDamaged() const { return false; }
    // Damaged frames dropped since the source opened, by cause.
    virtual FrameDamageCounts DamagedFrames() const { return {}; }
    // Frames the camera took since the source opened that never reached the program: the driver
    // had no free buffer for them, the program being too late to take the ones before.
    virtual uint64_t MissedFrames() const { return 0; }
    // The camera's mode has given nothing but damaged frames for a while: the next open of this
    // camera tries the next mode down (its opener shared `avoided` with the source it made).
    void AvoidMode() {
        if (m_modeAvoided)
            m_modeAvoided->store(true);
    }
    void ShareModeAvoided(std::shared_ptr<std::atomic<bool>> avoided) {
        m_modeAvoided = std::move(avoided);
    }
    // The size the next Retrieve must cover at least; a source that can decode smaller pictures
    // cheaply (MJPEG) decodes no larger than needed. Empty: the full picture.
    virtual void SetDecodeSize(cv::Size cover);
    // The camera's own controls (CameraControls.h); null for a source without any.
    virtual CCameraControls* Controls() { return nullptr; }

private:
    std::shared_ptr<std::atomic<bool>> m_modeAvoided;
};

// How long a camera may deliver nothing before it counts as lost: 2 s, or three of its frame
// periods where that is longer (a camera that legitimately sends a frame a second or less).
std::chrono::steady_clock::duration
CameraSilenceLimit(std::optional<std::chrono::steady_clock::duration> framePeriod);

// True when the user or the system refused the program the cameras (the desktop's camera
// portal said no): start-up then says so and ends as for a camera that does not open.
bool CameraAccessRefused();

// Why the last open on this thread gave no source.
enum class CameraOpenFailure {
    None,
    NotFound,  // no such camera, or it does not open
    Bandwidth, // the stream could not start for lack of USB bandwidth
    Busy,      // another program streams from the camera
};
void NoteOpenFailure(CameraOpenFailure failure);
CameraOpenFailure TakeOpenFailure();

// How a camera is known again after being unplugged: "v4l2" followed by its by-id name, bus and
// card name, tab-separated. Stored in the camera's settings section.
using CameraIdentity = QString;
// Stored identities by camera index.
using StoredCameraIds = QMap<int, CameraIdentity>;

struct CameraInfo {
    QString location;        // device path or VISTRELCV_CAMERAS entry; empty when nothing is there
    QString name;            // human-readable name (the driver's card name), may be empty
    CameraIdentity id;       // the identity to store for it; empty for other sources
    QList<CameraMode> modes; // the modes the camera lists; empty when it lists none
};

// Opens one camera, again and again: each call gives a new source of the same camera, or null
// when it does not open (now); TakeOpenFailure() then says why.
using CameraOpener = std::function<std::unique_ptr<CCameraSource>()>;
