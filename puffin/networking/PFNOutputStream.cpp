#include "puffin/networking/PFNOutputStream.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

class MemoryStream : public PFNOutputStream {
  public:
    void open() override { open_ = true; }
    void close() override { open_ = false; }
    bool hasSpaceAvailable() const override { return true; }
    int64_t write(const uint8_t* bytes, size_t length) override {
        data_.append(bytes, length);
        return static_cast<int64_t>(length);
    }
    std::optional<platform::Error> streamError() const override { return std::nullopt; }
    std::optional<platform::Data> dataWrittenToMemory() const override { return data_; }

  private:
    bool open_ = false;
    platform::Data data_;
};

class FileStream : public PFNOutputStream {
  public:
    FileStream(std::filesystem::path path, bool append) : path_(std::move(path)), append_(append) {}
    ~FileStream() override { close(); }
    void open() override {
        if (file_ || error_) return;
        file_ = std::fopen(path_.c_str(), append_ ? "ab" : "wb");
        if (!file_) fail();
    }
    void close() override {
        if (file_) std::fclose(file_);
        file_ = nullptr;
    }
    bool hasSpaceAvailable() const override { return !error_; }
    int64_t write(const uint8_t* bytes, size_t length) override {
        if (!file_) {
            if (!error_) error_ = platform::Error("NSPOSIXErrorDomain", EBADF);
            return -1;
        }
        const size_t written = std::fwrite(bytes, 1, length, file_);
        if (written < length || std::fflush(file_) != 0) {
            fail();
            return -1;
        }
        offset_ += written;
        return static_cast<int64_t>(written);
    }
    std::optional<platform::Error> streamError() const override { return error_; }
    std::optional<uint64_t> fileCurrentOffset() const override { return offset_; }

  private:
    void fail() {
        const int code = errno ? errno : EIO;
        error_ = platform::Error::withDescription("NSPOSIXErrorDomain", code, std::strerror(code));
    }

    std::filesystem::path path_;
    bool append_;
    FILE* file_ = nullptr;
    uint64_t offset_ = 0;
    std::optional<platform::Error> error_;
};

}  // namespace

std::shared_ptr<PFNOutputStream> PFNOutputStream::outputStreamToMemory() {
    return std::make_shared<MemoryStream>();
}

std::shared_ptr<PFNOutputStream> PFNOutputStream::outputStreamToFile(
    const std::filesystem::path& path,
    bool append) {
    return std::make_shared<FileStream>(path, append);
}
