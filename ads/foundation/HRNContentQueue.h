#pragma once
// HRNContentQueue: the last few screens' contents, oldest first, from which each ad request
// takes the fingerprint of the best-scoring one. Serving a content costs it a penalty, so a
// screen is not sent for ever and another one may take its place.
//
// Confined to the content-hashing queue (not locked): walks add to it and requests read it
// there.

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

class HRNContent;

class HRNContentQueue {
  public:
    explicit HRNContentQueue(uint64_t queueSize) : size_(queueSize) {}

    // The content with the highest positive score (the oldest among equals); null when the
    // queue is empty or no score is above 0.
    std::shared_ptr<HRNContent> contentWithHighestScore() const;
    std::shared_ptr<HRNContent> contentWithSequenceNumber(uint64_t sequenceNumber) const;
    // Removes every other content with the same fingerprint as `content`, keeping the newer of
    // each pair (which may drop `content` itself when it is the older one and queued).
    void deduplicate(const std::shared_ptr<HRNContent>& content);
    // Stores the content under its sequence number, dropping the oldest when full. Nothing for
    // a null content or a queue of size 0.
    void enqueueContent(const std::shared_ptr<HRNContent>& content);

    uint64_t size() const { return size_; }
    // Sequence numbers of the queued contents, oldest first.
    const std::vector<uint64_t>& sequenceNumbers() const { return sequenceNumbers_; }

  private:
    void remove(uint64_t sequenceNumber);

    std::map<uint64_t, std::shared_ptr<HRNContent>> contents_;
    std::vector<uint64_t> sequenceNumbers_;
    uint64_t size_;
};
