// Camera numbers: a camera whose identity is stored under a number keeps that number wherever it
// now is, and while it is away nobody else takes it; the cameras no stored identity names take
// the lowest numbers that remember no camera, in list order. Pure rules, whatever way the cameras
// are reached.
#pragma once

#include "camera/CameraSource.h"

#include <functional>

// Stored identities beyond this many cameras are not numbers anyone uses.
inline constexpr int kMaxCameraIndex = 64;

// The attached camera a stored identity names, as an index into the attached list; -1 when it is
// not attached.
using StoredCameraMatcher = std::function<int(const CameraIdentity&)>;

// The cameras by number: entry i is what camera i opens now. With identities stored, an entry in
// the middle may be empty (that camera is away and no other may take its number).
QList<CameraInfo> AssignCameraNumbers(const QList<CameraInfo>& attached,
                                      const StoredCameraIds& stored,
                                      const StoredCameraMatcher& match);
