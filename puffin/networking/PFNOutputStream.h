#pragma once
// Where a connection operation writes the body it receives: to memory (the default) or to a
// file. A stand-in for the platform's output streams with the few operations the operations
// use. A stream is used by one thread at a time (the network thread while loading).

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Data.h"
#include "platform/foundation/Error.h"

class PFNOutputStream {
  public:
    static std::shared_ptr<PFNOutputStream> outputStreamToMemory();
    // Replaces the file's content unless `append`.
    static std::shared_ptr<PFNOutputStream> outputStreamToFile(const std::filesystem::path& path,
                                                               bool append = false);

    virtual ~PFNOutputStream() = default;
    virtual void open() = 0;
    virtual void close() = 0;
    virtual bool hasSpaceAvailable() const = 0;
    // Bytes written, or -1 on failure (then streamError() says why).
    virtual int64_t write(const uint8_t* bytes, size_t length) = 0;
    virtual std::optional<platform::Error> streamError() const = 0;
    // What a memory stream holds ("data written to memory"); std::nullopt for other streams.
    virtual std::optional<platform::Data> dataWrittenToMemory() const { return std::nullopt; }
    // The write position of a file stream; std::nullopt for other streams.
    virtual std::optional<uint64_t> fileCurrentOffset() const { return std::nullopt; }
};
