// What the live view shows when a recording goes on without the sound it was asked for (no
// microphone, a refused or a lost one): a notice along the foot of the picture, for a few
// seconds, once per recording.
#pragma once

#include <QString>

#include <chrono>

class QPainter;
class QRect;

inline constexpr std::chrono::seconds kNoSoundNoticeTime{5};

// The notice's text (string 32808).
QString NoSoundNoticeText();
// Paints the notice along the foot of `area`, which already holds the picture.
void PaintNoSoundNotice(QPainter& painter, const QRect& area);
