// libavformat, libavcodec, libavutil and libswscale, loaded the first time the program calls into
// them (a movie recorded, a file or stream camera opened, an H.264 camera decoded) rather than at
// start-up: with their own dependencies they are about ninety libraries, and a program that only
// shows a webcam has no use for them. The program is built against their headers but not linked
// to them; LibavOnDemand.cpp defines each function it calls, forwarding to the library's own.
#pragma once

// True once the libraries are loaded (for the tests).
bool LibavLoaded();
