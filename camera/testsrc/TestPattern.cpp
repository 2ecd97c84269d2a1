// Draws the synthetic camera's picture: a background made once, a counter and a moving marker
// drawn on a copy per frame.
#include "camera/testsrc/TestPattern.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <string>
#include <vector>

cv::Mat DrawBackground(cv::Size size) {
    cv::Mat image(size, CV_8UC3);
    // Dark blue on the left to bright orange on the right.
    for (int x = 0; x < size.width; ++x) {
        const double t = size.width > 1 ? double(x) / (size.width - 1) : 0.0;
        image.col(x).setTo(cv::Scalar(160 * (1 - t) + 40, 60 + 120 * t, 40 + 215 * t));
    }
    const int unit = std::max(1, std::min(size.width, size.height) / 12);
    // A green arrow pointing right in the left third.
    const cv::Point tip(size.width / 3, size.height / 2);
    const std::vector<cv::Point> arrow = {{unit, size.height / 2 - unit},
                                          {tip.x - 2 * unit, size.height / 2 - unit},
                                          {tip.x - 2 * unit, size.height / 2 - 2 * unit},
                                          tip,
                                          {tip.x - 2 * unit, size.height / 2 + 2 * unit},
                                          {tip.x - 2 * unit, size.height / 2 + unit},
                                          {unit, size.height / 2 + unit}};
    cv::fillPoly(image, std::vector<std::vector<cv::Point>>{arrow}, cv::Scalar(60, 200, 60),
                 cv::LINE_AA);
    // A white block in the top-left corner.
    cv::rectangle(image, cv::Rect(0, 0, 2 * unit, 2 * unit), cv::Scalar(255, 255, 255), cv::FILLED);
    cv::putText(image, "testsrc", cv::Point(unit / 2, size.height - unit / 2),
                cv::FONT_HERSHEY_SIMPLEX, unit / 24.0, cv::Scalar(255, 255, 255),
                std::max(1, unit / 12), cv::LINE_AA);
    return image;
}

void DrawFrameMarks(cv::Mat& image, int64_t number) {
    const cv::Size size = image.size();
    const int unit = std::max(1, std::min(size.width, size.height) / 12);
    // A marker that crosses the picture once every 60 frames, so motion shows.
    const int x = int((number % 60) * (size.width - unit) / 60);
    cv::rectangle(image, cv::Rect(x, size.height - 3 * unit, unit, unit), cv::Scalar(0, 0, 255),
                  cv::FILLED);
    cv::putText(image, std::to_string(number), cv::Point(size.width / 2, 2 * unit),
                cv::FONT_HERSHEY_SIMPLEX, unit / 16.0, cv::Scalar(0, 0, 0), std::max(1, unit / 8),
                cv::LINE_AA);
}

cv::Mat DrawTestPattern(cv::Size size, int64_t number) {
    cv::Mat image = DrawBackground(size);
    DrawFrameMarks(image, number);
    return image;
}
