// The text a movie writer keeps for the log when a libav call fails: what failed and libav's
// reason.
#pragma once

#include <QString>

extern "C" {
#include <libavutil/error.h>
}

inline QString LibavErrorText(const char* what, int code) {
    char reason[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, reason, sizeof reason);
    return QString::fromUtf8(what) + QLatin1String(": ") + QString::fromUtf8(reason);
}
