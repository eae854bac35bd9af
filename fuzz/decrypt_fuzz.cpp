// The game's scrambled values as its files hold them (each byte one character on disk): the
// unscrambling of any bytes, the number readers on top of it, and the scrambling of what came
// out, which must unscramble to the same text.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "game/model/QenBytes.h"
#include "game/model/QenData.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qen::fuzz::prepareProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);

    // As stored: the file's text turned back into bytes, then unscrambled.
    std::string stored = qen::utf8ToBytes(input);
    QenData::Decrypt(stored);
    std::string raw = input;
    QenData::Decrypt(raw);

    std::string number = input;
    QenData::readInt(number);
    std::string money = input;
    QenData::readMoney(money);

    // Scrambling keeps every text without NUL bytes that it changes.
    if (raw.find('\0') == std::string::npos) {
        std::string scrambled = raw;
        QenData::Encrypt(scrambled);
        if (scrambled != raw) {
            QenData::Decrypt(scrambled);
            if (scrambled != raw) {
                std::fprintf(stderr, "a scrambled text does not unscramble to itself\n");
                std::abort();
            }
        }
    }
    return 0;
}
