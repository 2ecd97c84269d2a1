// Serves a decoded picture at a camera's pace.
#include "capture/StillImageSource.h"

bool CStillImageSource::Grab() {
    m_pacer.WaitNextFrame();
    return true;
}

bool CStillImageSource::Retrieve(cv::Mat& frame) {
    m_image.copyTo(frame);
    return true;
}
