// The source interface's defaults and the note of why the last open on a thread failed.
#include "camera/CameraSource.h"

#include <utility>

namespace {

thread_local CameraOpenFailure t_openFailure = CameraOpenFailure::None;

} // namespace

void CCameraSource::SetDecodeSize(cv::Size) {}

const char* DescribeFrameDamage(FrameDamage damage) {
    switch (damage) {
    case FrameDamage::CutShort:
        return "cut short";
    case FrameDamage::Flagged:
        return "flagged by the driver";
    case FrameDamage::Undecodable:
        return "undecodable";
    case FrameDamage::WrongSize:
        return "of another size";
    default:
        return "whole";
    }
}

void NoteOpenFailure(CameraOpenFailure failure) {
    t_openFailure = failure;
}

CameraOpenFailure TakeOpenFailure() {
    return std::exchange(t_openFailure, CameraOpenFailure::None);
}
