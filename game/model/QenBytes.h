#pragma once
// Scrambled values are strings of raw bytes (codes 1 to 255). On disk and in console lines each
// byte is one character, U+0001 to U+00FF, written as UTF-8. These two helpers convert between
// the forms; the model's files and its log lines use them.

#include <string>
#include <string_view>

namespace qen {

// Each byte as the UTF-8 encoding of the character of that code.
inline std::string bytesToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char b : bytes) {
        if (b < 0x80) {
            out.push_back(static_cast<char>(b));
        } else {
            out.push_back(static_cast<char>(0xC0 | (b >> 6)));
            out.push_back(static_cast<char>(0x80 | (b & 0x3F)));
        }
    }
    return out;
}

// Each character back to one byte: its code's low 8 bits. A byte that starts no valid
// sequence stands for itself; characters whose low 8 bits are 0 form no byte.
inline std::string utf8ToBytes(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        size_t len = 1;
        unsigned code = lead;
        if (lead >= 0xC2 && lead <= 0xDF) {
            len = 2;
            code = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            len = 3;
            code = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            len = 4;
            code = lead & 0x07;
        }
        bool valid = len == 1 || i + len <= text.size();
        for (size_t j = 1; valid && j < len; ++j) {
            const auto c = static_cast<unsigned char>(text[i + j]);
            if ((c & 0xC0) != 0x80) valid = false;
            code = (code << 6) | (c & 0x3F);
        }
        if (!valid) {
            len = 1;
            code = lead;
        }
        if ((code & 0xFF) != 0) out.push_back(static_cast<char>(code & 0xFF));
        i += len;
    }
    return out;
}

}  // namespace qen
