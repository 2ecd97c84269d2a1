// Serves a decoded picture at a camera's pace.
#include "capture/StillImageSource.h"

bool CStillImageSource::Read(cv::Mat& frame) {
    m_pacer.WaitNextFrame();
    m_image.copyTo(frame);
    return true;
}
