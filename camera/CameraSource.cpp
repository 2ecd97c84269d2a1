// The source interface's defaults, the silence limit and the note of why the last open on a
// thread failed.
#include "camera/CameraSource.h"

#include <algorithm>
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

std::chrono::steady_clock::duration
CameraSilenceLimit(std::optional<std::chrono::steady_clock::duration> framePeriod) {
    const std::chrono::steady_clock::duration shortest = std::chrono::seconds(2);
    return framePeriod ? std::max(shortest, *framePeriod * 3) : shortest;
}

void NoteOpenFailure(CameraOpenFailure failure) {
    t_openFailure = failure;
}

CameraOpenFailure TakeOpenFailure() {
    return std::exchange(t_openFailure, CameraOpenFailure::None);
}
