// Where the clicks of a movie's sound fall against the flashes of its picture.
#include "SoundSync.h"

#include <QProcess>

#include <algorithm>
#include <cmath>

namespace capturetest {

// The times in `movie` at which `filter` (an ffprobe movie source and filters) finds `tag` above
// `threshold` after a frame below it: the starts of flashes or clicks.
QList<double> Onsets(const QString& movie, const char* filter, const char* tag, double threshold) {
    QProcess probe;
    const QString graph = QString(filter).arg(movie);
    probe.start("ffprobe", {"-v", "error", "-f", "lavfi", "-i", graph, "-show_entries",
                            QString("frame=pts_time:frame_tags=") + tag, "-of", "csv=p=0"});
    probe.waitForFinished(-1); // a long movie takes minutes; a hang meets the tests' time limit
    QList<double> onsets;
    bool above = true; // an onset comes after a frame below
    for (const QByteArray& line : probe.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> fields = line.split(',');
        if (fields.size() < 2)
            continue;
        bool number = false;
        const double value = fields[1].toDouble(&number);
        const bool now = number && value > threshold;
        if (now && !above)
            onsets << fields[0].toDouble();
        above = now;
    }
    return onsets;
}

QList<double> Clicks(const QString& movie) {
    QProcess probe;
    probe.start("ffprobe", {"-v", "error", "-f", "lavfi", "-i",
                            QString("amovie=%1,silencedetect=n=0.2:d=0.02").arg(movie),
                            "-show_entries", "frame_tags=lavfi.silence_end", "-of", "csv=p=0"});
    probe.waitForFinished(-1);
    QList<double> clicks;
    for (const QByteArray& line : probe.readAllStandardOutput().split('\n')) {
        if (!line.trimmed().isEmpty())
            clicks << line.toDouble();
    }
    return clicks;
}

ClicksAndFlashes MatchClicksToFlashes(const QString& movie) {
    ClicksAndFlashes found{
        Onsets(movie, "movie=%1,signalstats", "lavfi.signalstats.YAVG", 200), Clicks(movie), {}};
    for (const double click : found.clicks) {
        const auto nearest = std::min_element(
            found.flashes.begin(), found.flashes.end(),
            [click](double a, double b) { return std::abs(a - click) < std::abs(b - click); });
        if (nearest != found.flashes.end())
            found.offsets << click - *nearest;
    }
    return found;
}

} // namespace capturetest
