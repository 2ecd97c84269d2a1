// V4L2 cameras as the camera list sees them: the capture nodes' entries, finding a stored camera
// again by its identity, and the opener that reaches a camera wherever it now is, in its mode.
#pragma once

#include "camera/CameraSource.h"
#include "camera/v4l2/V4l2Devices.h"

class CCameraControlBoard;

// The list entry of a capture node: its path, card name, identity and modes.
CameraInfo V4l2CameraInfo(const V4l2Node& node);
// A device named in VISTRELCV_CAMERAS: the capture node of the scan it is, found again by its
// identity after a replug like any scanned camera; else the path alone.
CameraInfo V4l2DeviceEntryInfo(const QString& path);
// True for the stored identity of a V4L2 camera.
bool IsV4l2Identity(const CameraIdentity& id);
// The node among `nodes` that the stored identity `id` names; -1 when it is not attached.
int MatchStoredV4l2Camera(const CameraIdentity& id, const QList<V4l2Node>& nodes);
// Opens the V4L2 camera found by its identity wherever it appears, in the mode of `size` when it
// offers that size (else its best mode); after a start refused for lack of USB bandwidth the next
// call tries the next smaller mode. Each open writes the values `controls` holds then.
CameraOpener V4l2CameraOpener(const CameraInfo& camera, std::optional<QSize> size,
                              std::shared_ptr<const CCameraControlBoard> controls = nullptr);
