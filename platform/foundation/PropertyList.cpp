#include "platform/foundation/PropertyList.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <nlohmann/json.hpp>
#include <string_view>
#include <vector>

#include "platform/foundation/Files.h"
#include "platform/foundation/PropertyListNodes.h"
#include "platform/foundation/Text.h"

namespace platform::plist {

namespace detail {

namespace {

constexpr const char* kDomain = "platform.plist";
constexpr int64_t kMalformed = 1;
constexpr int64_t kUnstorable = 2;
constexpr int64_t kFile = 3;

// Property-list dates count from 1 January 2001 UTC.
constexpr double kReferenceDate = 978307200.0;

void fail(Error* error, int64_t code, const std::string& why) {
    setError(error, Error::withDescription(kDomain, code, why));
}

Node toNodeAt(const Value& value, NullMode mode, Error* error, int depth) {
    if (depth > kMaxDepth) {
        fail(error, kUnstorable, "value nested too deeply");
        return nullptr;
    }
    switch (value.type()) {
        case Value::Type::Null:
            if (mode == NullMode::AsUid) return Node(plist_new_uid(0));
            fail(error, kUnstorable, "null cannot be stored in a property list");
            return nullptr;
        case Value::Type::Bool:
            return Node(plist_new_bool(value.asBool() ? 1 : 0));
        case Value::Type::Integer:
            // libplist keeps integers as 64 bits and writes them back signed.
            return Node(plist_new_uint(static_cast<uint64_t>(value.asInteger())));
        case Value::Type::Real:
            return Node(plist_new_real(value.asReal()));
        case Value::Type::String:
            if (!isStorableText(*value.string())) {
                fail(error, kUnstorable, "text is not valid UTF-8 or holds a NUL byte");
                return nullptr;
            }
            return Node(plist_new_string(value.string()->c_str()));
        case Value::Type::Data: {
            const Data& d = *value.data();
            return Node(plist_new_data(reinterpret_cast<const char*>(d.data()), d.size()));
        }
        case Value::Type::Date: {
            double since = value.asDate()->secondsSince1970 - kReferenceDate;
            if (!std::isfinite(since)) {
                fail(error, kUnstorable, "date is not finite");
                return nullptr;
            }
            double whole = std::floor(since);
            auto usec = static_cast<int64_t>(std::llround((since - whole) * 1e6));
            if (usec >= 1000000) {
                whole += 1;
                usec -= 1000000;
            }
            if (whole < std::numeric_limits<int32_t>::min() ||
                whole > std::numeric_limits<int32_t>::max()) {
                fail(error, kUnstorable, "date out of the storable range (1933 to 2069)");
                return nullptr;
            }
            return Node(plist_new_date(static_cast<int32_t>(whole), static_cast<int32_t>(usec)));
        }
        case Value::Type::Array: {
            Node array(plist_new_array());
            for (const Value& item : *value.array()) {
                Node child = toNodeAt(item, mode, error, depth + 1);
                if (!child) return nullptr;
                plist_array_append_item(array.get(), child.release());
            }
            return array;
        }
        case Value::Type::Dictionary: {
            Node dict(plist_new_dict());
            for (const auto& [key, item] : *value.dictionary()) {
                if (!isStorableText(key)) {
                    fail(error, kUnstorable, "key is not valid UTF-8 or holds a NUL byte");
                    return nullptr;
                }
                Node child = toNodeAt(item, mode, error, depth + 1);
                if (!child) return nullptr;
                plist_dict_set_item(dict.get(), key.c_str(), child.release());
            }
            return dict;
        }
    }
    return nullptr;
}

std::optional<Value> fromNodeAt(plist_t node, NullMode mode, Error* error, int depth) {
    if (!node) {
        fail(error, kMalformed, "property list has a missing value");
        return std::nullopt;
    }
    if (depth > kMaxDepth) {
        fail(error, kMalformed, "property list nested too deeply");
        return std::nullopt;
    }
    switch (plist_get_node_type(node)) {
        case PLIST_BOOLEAN: {
            uint8_t b = 0;
            plist_get_bool_val(node, &b);
            return Value(b != 0);
        }
        case PLIST_UINT: {
            uint64_t u = 0;
            plist_get_uint_val(node, &u);
            return Value(static_cast<int64_t>(u));
        }
        case PLIST_REAL: {
            double d = 0;
            plist_get_real_val(node, &d);
            return Value(d);
        }
        case PLIST_STRING: {
            uint64_t length = 0;
            const char* s = plist_get_string_ptr(node, &length);
            return Value(std::string(s ? s : "", s ? length : 0));
        }
        case PLIST_DATA: {
            uint64_t length = 0;
            const char* p = plist_get_data_ptr(node, &length);
            return Value(p ? Data(p, length) : Data());
        }
        case PLIST_DATE: {
            int32_t sec = 0, usec = 0;
            plist_get_date_val(node, &sec, &usec);
            return Value(Date{kReferenceDate + sec + usec / 1e6});
        }
        case PLIST_UID: {
            uint64_t uid = 0;
            plist_get_uid_val(node, &uid);
            if (mode == NullMode::AsUid) {
                if (uid == 0) return Value();
                fail(error, kMalformed, "unexpected reference in archive");
                return std::nullopt;
            }
            // The usual XML spelling of a reference.
            Dictionary ref;
            ref.emplace("CF$UID", Value(static_cast<int64_t>(uid)));
            return Value(std::move(ref));
        }
        case PLIST_ARRAY: {
            Array array;
            uint32_t count = plist_array_get_size(node);
            array.reserve(count);
            for (uint32_t i = 0; i < count; ++i) {
                auto item = fromNodeAt(plist_array_get_item(node, i), mode, error, depth + 1);
                if (!item) return std::nullopt;
                array.push_back(std::move(*item));
            }
            return Value(std::move(array));
        }
        case PLIST_DICT: {
            Dictionary dict;
            plist_dict_iter it = nullptr;
            plist_dict_new_iter(node, &it);
            if (!it) {
                fail(error, kMalformed, "unreadable dictionary");
                return std::nullopt;
            }
            std::optional<Value> result;
            for (;;) {
                char* key = nullptr;
                plist_t item = nullptr;
                plist_dict_next_item(node, it, &key, &item);
                if (!key) {
                    result = Value(std::move(dict));
                    break;
                }
                std::string k(key);
                std::free(key);
                auto v = fromNodeAt(item, mode, error, depth + 1);
                if (!v) break;
                dict.insert_or_assign(std::move(k), std::move(*v));
            }
            std::free(it);
            return result;
        }
        default:
            fail(error, kMalformed, "unsupported property list node");
            return std::nullopt;
    }
}

// libplist's readers recurse once per nesting level and overflow the stack on hostile input,
// so the nesting depth is measured before the bytes reach them.

// XML: counts open <array> and <dict> elements; comments, CDATA and declarations are skipped.
// Conservative: it may refuse, never under-count.
bool xmlDepthWithin(std::string_view text, int limit) {
    int depth = 0;
    size_t i = 0;
    auto skipPast = [&](std::string_view end) {
        size_t at = text.find(end, i);
        i = at == std::string_view::npos ? text.size() : at + end.size();
    };
    auto startsWithTag = [&](std::string_view name) {
        if (text.compare(i, name.size(), name) != 0) return false;
        size_t next = i + name.size();
        return next >= text.size() || text[next] == '>' || text[next] == '/' ||
               std::isspace(static_cast<unsigned char>(text[next]));
    };
    while (i < text.size()) {
        if (text[i] != '<') {
            ++i;
            continue;
        }
        if (text.compare(i, 4, "<!--") == 0) {
            skipPast("-->");
        } else if (text.compare(i, 9, "<![CDATA[") == 0) {
            skipPast("]]>");
        } else if (text.compare(i, 2, "<?") == 0 || text.compare(i, 2, "<!") == 0) {
            skipPast(">");
        } else if (startsWithTag("</array") || startsWithTag("</dict")) {
            --depth;
            skipPast(">");
        } else if (startsWithTag("<array") || startsWithTag("<dict")) {
            size_t close = text.find('>', i);
            bool selfClosing = close != std::string_view::npos && text[close - 1] == '/';
            if (!selfClosing && ++depth > limit) return false;
            skipPast(">");
        } else {
            ++i;
        }
    }
    return true;
}

// Binary: walks the object table from the top object, measuring the longest chain of
// containers without recursion. Malformed tables and cycles are refused here too.
bool binaryDepthWithin(const uint8_t* p, size_t size, int limit) {
    constexpr size_t kHeader = 8, kTrailer = 32;
    if (size < kHeader + kTrailer) return false;
    auto readBE = [](const uint8_t* at, size_t n) {
        uint64_t v = 0;
        for (size_t k = 0; k < n; ++k)
            v = (v << 8) | at[k];
        return v;
    };
    const uint8_t* trailer = p + size - kTrailer;
    const size_t offsetSize = trailer[6], refSize = trailer[7];
    const uint64_t count = readBE(trailer + 8, 8), top = readBE(trailer + 16, 8),
                   tableOffset = readBE(trailer + 24, 8);
    if (offsetSize < 1 || offsetSize > 8 || refSize < 1 || refSize > 8) return false;
    const size_t tableEnd = size - kTrailer;
    if (count == 0 || top >= count || tableOffset < kHeader || tableOffset > tableEnd ||
        count > (tableEnd - tableOffset) / offsetSize) {
        return false;
    }
    auto offsetOf = [&](uint64_t object) {
        return readBE(p + tableOffset + object * offsetSize, offsetSize);
    };
    // Keys must be text without NUL bytes: libplist asserts on a key that holds one.
    std::vector<uint8_t> keyChecked(count, 0);
    auto keyIsText = [&](uint64_t object) {
        if (object >= count) return false;
        if (keyChecked[object]) return true;
        uint64_t at = offsetOf(object);
        if (at < kHeader || at >= tableOffset) return false;
        uint8_t kind = p[at] >> 4;
        if (kind != 0x5 && kind != 0x6) return false;
        uint64_t n = p[at] & 0x0F;
        size_t pos = at + 1;
        if (n == 0x0F) {
            if (pos >= tableOffset || (p[pos] >> 4) != 0x1) return false;
            size_t width = size_t{1} << (p[pos] & 0x0F);
            if (width > 8 || pos + 1 + width > tableOffset) return false;
            n = readBE(p + pos + 1, width);
            pos += 1 + width;
        }
        const size_t unit = kind == 0x5 ? 1 : 2;
        if (n > (tableOffset - pos) / unit) return false;
        for (uint64_t k = 0; k < n; ++k) {
            if (unit == 1 ? p[pos + k] == 0 : (p[pos + 2 * k] | p[pos + 2 * k + 1]) == 0) {
                return false;
            }
        }
        keyChecked[object] = 1;
        return true;
    };
    // Where a container's child refs start and how many there are.
    enum class Kind { Scalar, Container, Bad };
    auto children = [&](uint64_t object, size_t& refs, uint64_t& n) {
        uint64_t at = offsetOf(object);
        if (at < kHeader || at >= tableOffset) return Kind::Bad;
        uint8_t marker = p[at];
        uint8_t kind = marker >> 4;
        if (kind != 0xA && kind != 0xC && kind != 0xD) return Kind::Scalar;
        n = marker & 0x0F;
        size_t pos = at + 1;
        if (n == 0x0F) {
            if (pos >= tableOffset || (p[pos] >> 4) != 0x1) return Kind::Bad;
            size_t width = size_t{1} << (p[pos] & 0x0F);
            if (width > 8 || pos + 1 + width > tableOffset) return Kind::Bad;
            n = readBE(p + pos + 1, width);
            pos += 1 + width;
        }
        if (kind == 0xD) {
            if (n > (tableOffset - pos) / (2 * refSize)) return Kind::Bad;
            for (uint64_t k = 0; k < n; ++k) {
                if (!keyIsText(readBE(p + pos + k * refSize, refSize))) return Kind::Bad;
            }
            pos += n * refSize;  // keys are text, never containers
        } else if (n > (tableOffset - pos) / refSize) {
            return Kind::Bad;
        }
        refs = pos;
        return Kind::Container;
    };
    enum : uint8_t { kNew, kOpen, kDone };
    std::vector<uint8_t> state(count, kNew);
    std::vector<int> height(count, 0);
    struct Frame {
        uint64_t object;
        size_t refs;
        uint64_t n, next;
    };
    std::vector<Frame> stack;
    auto enter = [&](uint64_t object) {
        size_t refs = 0;
        uint64_t n = 0;
        Kind kind = children(object, refs, n);
        if (kind != Kind::Container) {
            state[object] = kDone;
            return kind == Kind::Scalar;
        }
        if (stack.size() >= static_cast<size_t>(limit)) return false;
        state[object] = kOpen;
        stack.push_back({object, refs, n, 0});
        return true;
    };
    if (!enter(top)) return false;
    while (!stack.empty()) {
        Frame& f = stack.back();
        if (f.next == f.n) {
            state[f.object] = kDone;
            int h = height[f.object] + 1;
            uint64_t done = f.object;
            stack.pop_back();
            height[done] = h;
            if (!stack.empty()) {
                height[stack.back().object] = std::max(height[stack.back().object], h);
            }
            continue;
        }
        uint64_t child = readBE(p + f.refs + f.next * refSize, refSize);
        ++f.next;
        if (child >= count) return false;
        if (state[child] == kOpen) return false;  // a cycle
        if (state[child] == kDone) {
            height[f.object] = std::max(height[f.object], height[child]);
            continue;
        }
        if (!enter(child)) return false;
    }
    return height[top] <= limit;
}

}  // namespace

bool isStorableText(const std::string& text) {
    return text.find('\0') == std::string::npos && isValidUTF8(text);
}

Node toNode(const Value& value, NullMode mode, Error* error) {
    return toNodeAt(value, mode, error, 0);
}

std::optional<Value> fromNode(plist_t node, NullMode mode, Error* error) {
    return fromNodeAt(node, mode, error, 0);
}

Node parseBytes(const Data& bytes, Error* error) {
    if (bytes.empty()) {
        fail(error, kMalformed, "empty property list");
        return nullptr;
    }
    if (bytes.size() > std::numeric_limits<uint32_t>::max()) {
        fail(error, kMalformed, "property list too large");
        return nullptr;
    }
    const bool binary = bytes.size() >= 8 && std::memcmp(bytes.data(), "bplist00", 8) == 0;
    const bool shallow =
        binary ? binaryDepthWithin(bytes.data(), bytes.size(), kMaxDepth)
               : xmlDepthWithin(
                     std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                     kMaxDepth);
    if (!shallow) {
        fail(error, kMalformed, "not a property list, or nested too deeply");
        return nullptr;
    }
    plist_t node = nullptr;
    plist_from_memory(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<uint32_t>(bytes.size()), &node);
    if (!node) {
        fail(error, kMalformed, "not a property list");
        return nullptr;
    }
    return Node(node);
}

std::optional<Data> writeBytes(plist_t node, Format format, Error* error) {
    char* out = nullptr;
    uint32_t length = 0;
    if (format == Format::XML) {
        plist_to_xml(node, &out, &length);
    } else {
        plist_to_bin(node, &out, &length);
    }
    if (!out) {
        fail(error, kUnstorable, "property list could not be written");
        return std::nullopt;
    }
    Data data(out, length);
    if (format == Format::XML) {
        plist_to_xml_free(out);
    } else {
        plist_to_bin_free(out);
    }
    return data;
}

}  // namespace detail

std::optional<Value> parse(const Data& bytes, Error* error) {
    detail::Node node = detail::parseBytes(bytes, error);
    if (!node) return std::nullopt;
    return detail::fromNode(node.get(), detail::NullMode::Refuse, error);
}

std::optional<Data> serialize(const Value& value, Format format, Error* error) {
    detail::Node node = detail::toNode(value, detail::NullMode::Refuse, error);
    if (!node) return std::nullopt;
    return detail::writeBytes(node.get(), format, error);
}

std::optional<Value> readFile(const std::filesystem::path& path, Error* error) {
    auto bytes = files::readData(path);
    if (!bytes) {
        detail::fail(error, detail::kFile, "cannot read " + path.string());
        return std::nullopt;
    }
    return parse(*bytes, error);
}

bool writeFile(const std::filesystem::path& path, const Value& value, Format format, Error* error) {
    auto bytes = serialize(value, format, error);
    if (!bytes) return false;
    if (!files::writeAtomically(path, *bytes)) {
        detail::fail(error, detail::kFile, "cannot write " + path.string());
        return false;
    }
    return true;
}

}  // namespace platform::plist

namespace platform::json {

namespace {

constexpr const char* kDomain = "platform.json";
constexpr int64_t kMalformed = 1;
constexpr int64_t kUnstorable = 2;

void fail(Error* error, int64_t code, const std::string& why) {
    setError(error, Error::withDescription(kDomain, code, why));
}

// Builds a Value straight from the parser's events, with a bound on nesting.
class Builder {
  public:
    using json = nlohmann::json;

    bool null() { return add(Value()); }
    bool boolean(bool b) { return add(Value(b)); }
    bool number_integer(int64_t i) { return add(Value(i)); }
    bool number_unsigned(uint64_t u) {
        if (u <= static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
            return add(Value(static_cast<int64_t>(u)));
        }
        return add(Value(static_cast<double>(u)));
    }
    bool number_float(double d, const std::string&) { return add(Value(d)); }
    bool string(std::string& s) { return add(Value(std::move(s))); }
    bool binary(json::binary_t&) { return false; }
    bool start_object(size_t) { return open(Value(Dictionary{})); }
    bool key(std::string& k) {
        stack_.back().key = std::move(k);
        return true;
    }
    bool end_object() { return close(); }
    bool start_array(size_t) { return open(Value(Array{})); }
    bool end_array() { return close(); }
    bool parse_error(size_t position, const std::string&, const nlohmann::detail::exception& e) {
        message_ = e.what();
        position_ = position;
        return false;
    }

    std::optional<Value> root;
    std::string message_;
    size_t position_ = 0;
    bool tooDeep_ = false;

  private:
    struct Open {
        Value container;
        std::string key;
    };

    bool add(Value v) {
        if (stack_.empty()) {
            root = std::move(v);
        } else if (auto array = stack_.back().container.array()) {
            array->push_back(std::move(v));
        } else {
            stack_.back().container.dictionary()->insert_or_assign(stack_.back().key, std::move(v));
        }
        return true;
    }
    bool open(Value container) {
        if (stack_.size() >= static_cast<size_t>(plist::detail::kMaxDepth)) {
            tooDeep_ = true;
            return false;
        }
        stack_.push_back(Open{std::move(container), {}});
        return true;
    }
    bool close() {
        Value done = std::move(stack_.back().container);
        stack_.pop_back();
        return add(std::move(done));
    }

    std::vector<Open> stack_;
};

bool toJson(const Value& value, nlohmann::json& out, Error* error, int depth) {
    if (depth > plist::detail::kMaxDepth) {
        fail(error, kUnstorable, "value nested too deeply");
        return false;
    }
    switch (value.type()) {
        case Value::Type::Null:
            out = nullptr;
            return true;
        case Value::Type::Bool:
            out = value.asBool();
            return true;
        case Value::Type::Integer:
            out = value.asInteger();
            return true;
        case Value::Type::Real:
            if (!std::isfinite(value.asReal())) {
                fail(error, kUnstorable, "JSON has no infinite or NaN numbers");
                return false;
            }
            out = value.asReal();
            return true;
        case Value::Type::String:
            out = *value.string();
            return true;
        case Value::Type::Data:
            fail(error, kUnstorable, "JSON cannot hold data");
            return false;
        case Value::Type::Date:
            fail(error, kUnstorable, "JSON cannot hold a date");
            return false;
        case Value::Type::Array:
            out = nlohmann::json::array();
            for (const Value& item : *value.array()) {
                nlohmann::json child;
                if (!toJson(item, child, error, depth + 1)) return false;
                out.push_back(std::move(child));
            }
            return true;
        case Value::Type::Dictionary:
            out = nlohmann::json::object();
            for (const auto& [key, item] : *value.dictionary()) {
                nlohmann::json child;
                if (!toJson(item, child, error, depth + 1)) return false;
                out[key] = std::move(child);
            }
            return true;
    }
    return false;
}

}  // namespace

std::optional<Value> parse(std::string_view text, Error* error) {
    Builder builder;
    bool ok = false;
    try {
        ok = nlohmann::json::sax_parse(text.begin(), text.end(), &builder,
                                       nlohmann::json::input_format_t::json, true);
    } catch (const std::exception& e) {
        builder.message_ = e.what();
        ok = false;
    }
    if (!ok || !builder.root) {
        if (builder.tooDeep_) {
            fail(error, kMalformed, "JSON nested too deeply");
        } else {
            fail(error, kMalformed,
                 builder.message_.empty() ? "malformed JSON"
                                          : "malformed JSON: " + builder.message_);
        }
        return std::nullopt;
    }
    return std::move(builder.root);
}

std::optional<std::string> serialize(const Value& value, bool pretty, Error* error) {
    nlohmann::json j;
    if (!toJson(value, j, error, 0)) return std::nullopt;
    try {
        return j.dump(pretty ? 2 : -1);
    } catch (const nlohmann::json::exception&) {
        // Text that is not UTF-8.
        fail(error, kUnstorable, "text is not valid UTF-8");
        return std::nullopt;
    }
}

}  // namespace platform::json
