#include "platform/foundation/KeyedArchive.h"

#include "platform/foundation/PropertyList.h"
#include "platform/foundation/PropertyListNodes.h"

namespace platform::archive {

namespace {

constexpr const char* kDomain = "platform.archive";
constexpr int64_t kUnreadable = 1;
constexpr int64_t kUnstorable = 2;
constexpr const char* kArchiver = "QenKeyedArchive";
constexpr int64_t kVersion = 1;

void fail(Error* error, int64_t code, const std::string& why) {
    setError(error, Error::withDescription(kDomain, code, why));
}

}  // namespace

Data archive(const Value& root) {
    return archive(root, nullptr);
}

Data archive(const Value& root, Error* error) {
    Dictionary top;
    top.emplace("$archiver", Value(kArchiver));
    top.emplace("$version", Value(kVersion));
    top.emplace("root", root);
    Error why;
    plist::detail::Node node =
        plist::detail::toNode(Value(std::move(top)), plist::detail::NullMode::AsUid, &why);
    std::optional<Data> bytes;
    if (node) bytes = plist::detail::writeBytes(node.get(), plist::Format::Binary, &why);
    if (!bytes) {
        fail(error, kUnstorable, "cannot archive: " + why.localizedDescription());
        return Data();
    }
    return std::move(*bytes);
}

std::optional<Value> unarchive(const Data& bytes, Error* error) {
    Error why;
    plist::detail::Node node = plist::detail::parseBytes(bytes, &why);
    if (!node) {
        fail(error, kUnreadable, "not an archive: " + why.localizedDescription());
        return std::nullopt;
    }
    auto top = plist::detail::fromNode(node.get(), plist::detail::NullMode::AsUid, &why);
    if (!top) {
        fail(error, kUnreadable, "damaged archive: " + why.localizedDescription());
        return std::nullopt;
    }
    if (!top->isDictionary()) {
        fail(error, kUnreadable, "not an archive: the top level is no dictionary");
        return std::nullopt;
    }
    const Value* archiver = top->find("$archiver");
    if (!archiver || archiver->asString() != kArchiver) {
        fail(error, kUnreadable,
             "not an archive of this kind: $archiver is not " + std::string(kArchiver));
        return std::nullopt;
    }
    const Value* version = top->find("$version");
    if (!version || !version->isInteger() || version->asInteger() != kVersion) {
        fail(error, kUnreadable, "unsupported archive version");
        return std::nullopt;
    }
    Value* root = nullptr;
    auto it = top->dictionary()->find("root");
    if (it != top->dictionary()->end()) root = &it->second;
    if (!root) {
        fail(error, kUnreadable, "archive has no root");
        return std::nullopt;
    }
    return std::move(*root);
}

}  // namespace platform::archive
