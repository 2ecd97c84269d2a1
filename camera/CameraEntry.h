// What one camera of the list is: a VISTRELCV_CAMERAS entry (or a V4L2 device path) read into
// the kind of source that serves it. Pure text handling, so the rules can be tested alone.
#pragma once

#include <QList>
#include <QString>

struct CameraEntry {
    enum class Kind {
        TestPattern, // "testsrc[:WxH[@FPS]][,option...]": the program's own synthetic camera
        Device,      // a V4L2 device node, "/dev/video2"
        ImageFile,   // a still picture, repeated as a steady 30 fps source
        VideoFile,   // a movie, played at its own rate and started again at its end
        Stream,      // a URL ("rtsp://...", "http://...")
        Pipeline,    // a GStreamer pipeline ("videotestsrc ! videoconvert ! appsink")
    };
    Kind kind = Kind::TestPattern;
    QString location;
    int width = 640; // TestPattern only
    int height = 480;
    double fps = 30.0;
    // TestPattern misbehaviour on cue, in seconds after the source opened; negative is never.
    double stopAfter = -1;  // "stop=N": every read fails from then on (an unplugged camera)
    double stallAfter = -1; // "stall=N+M": one read at N waits M seconds, then frames resume
    double stallFor = 0;
    double hangAfter = -1; // "hang=N": the read at N never returns (a wedged driver)
    // "flash": frames come on the steady clock's whole frame periods, and the frame of each
    // whole second is white (a clap for checking the movie's sound against its picture)
    bool flash = false;
    bool valid = true; // false for a malformed "testsrc:..." (reported, never guessed)
};

// Reads one entry. Image and video files are told apart by their extension.
CameraEntry ParseCameraEntry(const QString& text);
// Splits the ";"-separated list; surrounding spaces are dropped, empty entries are skipped.
QList<QString> SplitCameraList(const QString& text);
