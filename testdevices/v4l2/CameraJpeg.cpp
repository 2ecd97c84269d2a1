// JPEG frames as webcams encode them, through libjpeg.
#include "testdevices/v4l2/CameraJpeg.h"

#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

std::vector<uchar> EncodeCameraJpeg(const cv::Mat& bgr, int quality, int restartMcus) {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* data = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &data, &size);
    info.image_width = JDIMENSION(bgr.cols);
    info.image_height = JDIMENSION(bgr.rows);
    info.input_components = 3;
    info.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    info.restart_interval = unsigned(restartMcus);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(bgr.ptr(int(info.next_scanline)));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<uchar> out(data, data + size);
    std::free(data);
    return out;
}
