// The end of a movie's output through libavformat.
#include "recording/LibavOutput.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
}

LibavFailure FinishOutput(AVFormatContext* format) {
    LibavFailure failure;
    if (const int trailer = av_write_trailer(format); trailer < 0)
        failure = {"cannot finish the movie", trailer};
    if (const int closed = avio_closep(&format->pb); closed < 0)
        failure = {"cannot close the file", closed};
    return failure;
}

void FreeOutput(AVFormatContext*& format) {
    if (format && format->pb)
        avio_closep(&format->pb);
    avformat_free_context(format);
    format = nullptr;
}
