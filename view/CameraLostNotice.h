// What the live view shows while its camera is lost: the last picture dimmed, with a centred
// notice that the program is waiting for the camera to come back.
#pragma once

class QPainter;
class QRect;

// Paints the dimming and the notice (string 32800) over `area`, which already holds the picture.
void PaintCameraLostNotice(QPainter& painter, const QRect& area);
