// Where the clicks of a movie's sound fall against the flashes of its picture.
#include "SoundSync.h"

#include <QProcess>

#include <algorithm>
#include <cmath>

namespace capturetest {

namespace {

// The lines ffprobe prints for `entries` of the frames `graph` (a lavfi source and filters)
// gives, as comma-separated values.
QList<QByteArray> LavfiLines(const QString& graph, const QString& entries) {
    QProcess probe;
    probe.start("ffprobe", {"-v", "error", "-f", "lavfi", "-i", graph, "-show_entries", entries,
                            "-of", "csv=p=0"});
    probe.waitForFinished(-1); // a long movie takes minutes; a hang meets the tests' time limit
    return probe.readAllStandardOutput().split('\n');
}

// The times of the flashes in `movie`: a white frame (mean brightness above 200) after a darker
// one.
QList<double> Flashes(const QString& movie) {
    QList<double> flashes;
    bool white = true; // a flash comes after a darker frame
    for (const QByteArray& line : LavfiLines(QString("movie=%1,signalstats").arg(movie),
                                             "frame=pts_time:frame_tags=lavfi.signalstats.YAVG")) {
        const QList<QByteArray> fields = line.split(',');
        if (fields.size() < 2)
            continue;
        bool number = false;
        const bool now = fields[1].toDouble(&number) > 200 && number;
        if (now && !white)
            flashes << fields[0].toDouble();
        white = now;
    }
    return flashes;
}

} // namespace

QList<double> Clicks(const QString& movie) {
    QList<double> clicks;
    for (const QByteArray& line :
         LavfiLines(QString("amovie=%1,silencedetect=n=0.2:d=0.02").arg(movie),
                    "frame_tags=lavfi.silence_end")) {
        if (!line.trimmed().isEmpty())
            clicks << line.toDouble();
    }
    return clicks;
}

ClicksAndFlashes MatchClicksToFlashes(const QString& movie) {
    ClicksAndFlashes found{Flashes(movie), Clicks(movie), {}};
    for (const double click : found.clicks) {
        const auto nearest = std::min_element(
            found.flashes.begin(), found.flashes.end(),
            [click](double a, double b) { return std::abs(a - click) < std::abs(b - click); });
        if (nearest != found.flashes.end())
            found.offsets << std::remainder(click - *nearest, 1.0);
    }
    return found;
}

} // namespace capturetest
