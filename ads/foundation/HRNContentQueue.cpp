#include "ads/foundation/HRNContentQueue.h"

#include <algorithm>
#include <set>

#include "ads/foundation/HRNContent.h"

std::shared_ptr<HRNContent> HRNContentQueue::contentWithHighestScore() const {
    std::shared_ptr<HRNContent> best;
    int64_t bestScore = 0;
    for (const auto& [number, content] : contents_) {
        if (content->score() > bestScore) {
            best = content;
            bestScore = content->score();
        }
    }
    return best;
}

std::shared_ptr<HRNContent> HRNContentQueue::contentWithSequenceNumber(
    uint64_t sequenceNumber) const {
    auto it = contents_.find(sequenceNumber);
    return it == contents_.end() ? nullptr : it->second;
}

void HRNContentQueue::deduplicate(const std::shared_ptr<HRNContent>& content) {
    if (!content) return;
    std::set<uint64_t> marked;
    for (const auto& [number, queued] : contents_) {
        if (queued == content || queued->fingerprint() != content->fingerprint()) continue;
        marked.insert(std::min(number, content->sequenceNumber()));
    }
    for (uint64_t number : marked)
        remove(number);
}

void HRNContentQueue::enqueueContent(const std::shared_ptr<HRNContent>& content) {
    if (!content || size_ == 0) return;
    while (sequenceNumbers_.size() >= size_)
        remove(sequenceNumbers_.front());
    remove(content->sequenceNumber());
    contents_[content->sequenceNumber()] = content;
    sequenceNumbers_.push_back(content->sequenceNumber());
}

void HRNContentQueue::remove(uint64_t sequenceNumber) {
    contents_.erase(sequenceNumber);
    sequenceNumbers_.erase(
        std::remove(sequenceNumbers_.begin(), sequenceNumbers_.end(), sequenceNumber),
        sequenceNumbers_.end());
}
