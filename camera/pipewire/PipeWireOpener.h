// PipeWire cameras as the camera list sees them: their entries, identities and modes, and the
// opener that finds a camera's node again and opens it in the chosen mode.
#pragma once

#include "camera/CameraSource.h"
#include "camera/pipewire/PipeWireCameras.h"

// The list entry of a PipeWire camera ("pipewire:" and its identity as the location).
CameraInfo PipeWireCameraInfo(const PipeWireCamera& camera);
// True for a list location or stored identity of a PipeWire camera.
bool IsPipeWireLocation(const QString& location);
bool IsPipeWireIdentity(const CameraIdentity& id);
// Opens the camera of a "pipewire:" entry again and again, in the mode of `size` when it offers
// that size, else its best mode.
CameraOpener PipeWireCameraOpener(const CameraInfo& camera, std::optional<QSize> size);
