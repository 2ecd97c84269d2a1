// Where a recording's frames come from, as the recording sees it: something that puts every frame
// it delivers, in order, into an attached queue. The camera reader is one; the recording knows
// nothing else of the camera.
#pragma once

#include "recording/FrameQueue.h"

#include <chrono>
#include <memory>

class CFrameFeed {
public:
    virtual ~CFrameFeed() = default;
    // Every frame from now on also goes into `queue`, until Detach or the feed ends (the queue
    // is then ended).
    virtual void Attach(std::shared_ptr<CFrameQueue> queue) = 0;
    virtual void Detach(const std::shared_ptr<CFrameQueue>& queue) = 0;
    // How long the feed may deliver nothing before its frames count as ended.
    virtual std::chrono::steady_clock::duration SilenceLimit() const = 0;
};
