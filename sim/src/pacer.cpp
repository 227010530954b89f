#include "sim/pacer.h"

#include <algorithm>

namespace sim {

size_t Pacer::due(size_t queued, uint64_t now_ns)
{
    if (!enabled_ || queued == 0) return queued;
    if (!busy_) {
        busy_ = true;
        start_ns_ = std::max(now_ns, free_ns_);
        index_ = 0;
    }
    size_t n = 0;
    while (n < queued && done_ns(index_ + n) <= now_ns) ++n;
    return n;
}

void Pacer::sent(size_t n, size_t left)
{
    if (!enabled_ || !busy_) return;
    index_ += n;
    if (index_ > 0) free_ns_ = done_ns(index_ - 1);
    if (left == 0) busy_ = false;
}

uint64_t Pacer::wake_ns(size_t queued, size_t batch) const
{
    if (!enabled_ || !busy_ || queued == 0) return 0;
    return done_ns(index_ + std::min(queued, std::max<size_t>(batch, 1)) - 1);
}

}  // namespace sim
