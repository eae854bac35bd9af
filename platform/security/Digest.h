#pragma once
// Message digests (MD5, SHA-1, SHA-256) and random bytes, through OpenSSL. Pure functions,
// thread-safe. Digests come as raw bytes or as lowercase hex text.

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/foundation/Data.h"

namespace platform::security {

// The bytes to digest: a Data or a text taken as its bytes.
class Bytes {
  public:
    Bytes(const Data& data) : data_(data.data()), size_(data.size()) {}
    Bytes(std::string_view text) : data_(text.data()), size_(text.size()) {}
    Bytes(const char* text) : Bytes(std::string_view(text)) {}
    Bytes(const std::string& text) : Bytes(std::string_view(text)) {}
    const void* data() const { return data_; }
    size_t size() const { return size_; }

  private:
    const void* data_;
    size_t size_;
};

Data md5(Bytes bytes);
Data sha1(Bytes bytes);
Data sha256(Bytes bytes);
std::string md5Hex(Bytes bytes);
std::string sha1Hex(Bytes bytes);
std::string sha256Hex(Bytes bytes);

// Lowercase hex text of bytes.
std::string hex(const Data& bytes);

// n bytes from the cryptographic random generator. Aborts when the generator fails, since no
// caller could go on safely without them.
Data randomBytes(size_t n);

}  // namespace platform::security
