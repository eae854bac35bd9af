#pragma once
// Bytes: an owned, growable byte buffer. The platform's replacement for an immutable or mutable
// data object; copying copies the bytes.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class Data {
  public:
    Data() = default;
    explicit Data(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
    Data(const void* bytes, size_t size)
        : bytes_(static_cast<const uint8_t*>(bytes), static_cast<const uint8_t*>(bytes) + size) {}
    static Data fromString(std::string_view s) { return Data(s.data(), s.size()); }

    const uint8_t* data() const { return bytes_.data(); }
    uint8_t* data() { return bytes_.data(); }
    size_t size() const { return bytes_.size(); }
    bool empty() const { return bytes_.empty(); }
    const std::vector<uint8_t>& bytes() const { return bytes_; }
    std::vector<uint8_t>& bytes() { return bytes_; }
    void append(const void* bytes, size_t size) {
        auto p = static_cast<const uint8_t*>(bytes);
        bytes_.insert(bytes_.end(), p, p + size);
    }
    void append(const Data& other) { append(other.data(), other.size()); }

    // The bytes as text, unchanged (no validation).
    std::string toString() const { return std::string(bytes_.begin(), bytes_.end()); }

    friend bool operator==(const Data&, const Data&) = default;

  private:
    std::vector<uint8_t> bytes_;
};

}  // namespace platform
