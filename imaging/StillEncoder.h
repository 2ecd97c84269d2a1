// A still picture as the bytes of its file: the one place that knows how each still format is
// written (JPEG through libjpeg-turbo, PNG through Qt). Storing the bytes (durably, under the next
// free number) is the shutter's job.
#pragma once

#include <QByteArray>
#include <QString>

#include <opencv2/core.hpp>

// The quality stills are written at: what the program has always written (OpenCV's default).
inline constexpr int kStillJpegQuality = 95;

// `bgr` (8-bit BGR) encoded in the format of the file extension `extension` ("jpg", "png"); empty
// when the picture is empty or the format is not one stills are written in.
QByteArray EncodeStill(const cv::Mat& bgr, const QString& extension);
// `bgr` (8-bit BGR) as a baseline JPEG of `quality` (1-100), 4:2:0; empty when it cannot be.
QByteArray EncodeJpeg(const cv::Mat& bgr, int quality);
