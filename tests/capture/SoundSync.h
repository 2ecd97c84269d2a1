// Where the clicks of a movie's sound fall against the flashes of its picture, read with ffprobe:
// the test camera flashes and the virtual microphone clicks at each whole second of the steady
// clock. Shared by the tests and the long benchmark (bench_capture --sound-drift), so it uses no
// test framework.
#pragma once

#include <QList>
#include <QString>

namespace capturetest {

// The times of the clicks in a movie's sound: a sample above a fifth of full scale after 20 ms
// below it, to the sample.
QList<double> Clicks(const QString& movie);

struct ClicksAndFlashes {
    QList<double> flashes, clicks;
    QList<double> offsets; // of each click from its flash (positive: the sound is late)
};
// The flashes and clicks of `movie`, each click measured against the flashes' one-second grid
// on the picture's clock: a flash whose frame was lost (a reader that came late loses frames, as
// a camera's driver does) or fell before the first frame still has its place, and its click is
// measured against that, not against a neighbour a second away.
ClicksAndFlashes MatchClicksToFlashes(const QString& movie);

} // namespace capturetest
