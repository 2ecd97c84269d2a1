// The desktop's camera portal: inside a sandbox (or when VISTRELCV_USE_PORTAL=1) cameras are
// reached only through a PipeWire connection the portal hands out once the user allows it. The
// portal is asked at start-up, and again only for a new connection after PipeWire restarted; the
// program's one PipeWire connection (PipeWireConnection.h) is made on the descriptor it gives.
// Where no portal answers, the program reaches PipeWire (and V4L2) directly.
#pragma once

#include "camera/CameraSource.h" // CameraAccessRefused

#include <chrono>
#include <optional>

struct CameraPortalAccess {
    enum class State {
        Direct,   // the portal is not used, or no portal answers: PipeWire directly
        Granted,  // the cameras of `remoteFd`
        NoCamera, // the portal says no camera is present
        Refused,  // the user (or the system) did not allow the camera
    };
    State state = State::Direct;
    int remoteFd = -1; // the portal's PipeWire connection while Granted, until it is connected on
};

// How long the portal may take to answer, the user's decision included.
inline constexpr std::chrono::seconds kCameraPortalAnswerLimit{120};

// True inside a sandbox (/.flatpak-info exists) or when VISTRELCV_USE_PORTAL=1.
bool ShouldUseCameraPortal();
// The program's access: asked on the first call (of the user-interface thread, at start-up, as
// the portal may show the user a question) when ShouldUseCameraPortal, else Direct.
CameraPortalAccess CameraPortal();
// Where the program's PipeWire connection is made: the portal's descriptor while Granted (handed
// over; the first from start-up's answer, later ones asked for again), -1 (the user's own daemon)
// while Direct, nothing when the portal refused, has no camera, or gave no new descriptor now.
std::optional<int> CameraRemote();

// One request to the portal on the session bus: IsCameraPresent, AccessCamera and its answer,
// then OpenPipeWireRemote. A Granted result's descriptor belongs to the caller.
CameraPortalAccess AskCameraPortal(std::chrono::milliseconds answerLimit);
