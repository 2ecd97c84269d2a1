// Opening a camera on a thread of its own within a time limit, so that a source that never
// answers (a stream server, a named pipe nobody writes) holds up nobody. An open stuck in the
// driver is left behind, counted, and remembered by camera for the whole run: no other open of
// that camera starts while it is stuck, whichever reader asks.
#pragma once

#include "camera/CameraSource.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <memory>

// An open that has not finished by then has failed (a stream server that never answers, a named
// pipe nobody writes); the thread stuck in it is left behind.
inline constexpr std::chrono::seconds kOpenTimeLimit{5};

// Opens `camera` (its OpenKey) through `opener` on a thread of its own, after an earlier open of
// it that was left unfinished has ended; null, and why in `failure`, when it does not open within
// kOpenTimeLimit. Stops waiting at once when `stop` is set.
std::unique_ptr<CCameraSource> OpenWithinLimit(const CameraOpener& opener, const QString& camera,
                                               const std::atomic<bool>& stop,
                                               CameraOpenFailure& failure);

// What the opens of `camera` are known by among those left stuck: its identity, else its place;
// a `reader` of no named camera is a camera of its own.
QString OpenKey(const CameraInfo& camera, const void* reader);
