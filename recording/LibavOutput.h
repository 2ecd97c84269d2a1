// The end of a movie's output through libavformat, the same for every movie writer: its trailer,
// its file and the output context.
#pragma once

struct AVFormatContext;

// What went wrong ending an output, for LibavErrorText; `what` is null when nothing did.
struct LibavFailure {
    const char* what = nullptr;
    int code = 0;
};

// Writes the trailer of `format` and closes its file, each whatever the other did; when both
// fail, the file's failure is the one told.
LibavFailure FinishOutput(AVFormatContext* format);
// Closes the file of `format` if it is still open and frees the context; null afterwards.
void FreeOutput(AVFormatContext*& format);
