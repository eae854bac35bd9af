#pragma once
// The game's files in the documents folder, for the model's own sources: their names, and
// reading and writing the scrambled ones (each byte of the scrambled form one character on
// disk, UTF-8 encoded). Not for other callers: the screens go through QenData.

#include <filesystem>
#include <optional>
#include <string>

namespace qen::files {

enum File : int {
    kVoucher = 0,
    kGiftStreak = 1,
    kRecordDate = 2,
    kRecordCount = 3,
    kGiftTime = 4,
    kSoundOff = 5,
    kShareGift = 6,
    kHelpShow = 7,
    kAdStatus = 8,
    kDownloadSite = 9,
    kDownloadSiteI = 10,
    kJudge = 11,
    kRecordTotal = 12,
    kHintStatus = 13,
    kHintLeft = 14,
    kShareMsg = 15,
    kAskSharePoint = 16,
    kUsage = 17,
    kShareGiftAmount = 18,
    kJudgeGiftAmount = 19,
    kHintEnable = 20,
    kNormalShareGiftLeft = 21,
    kNormalShareGift = 22,
    kCrazyEnable = 23,
};

// The 24 file names, "data0" to "data23".
extern const char* const kNames[24];

std::filesystem::path path(int file);
// The scrambled bytes of a file; nullopt when it is missing.
std::optional<std::string> readScrambled(int file);
// The file unscrambled ("" unscrambled, with its console line, when missing).
std::string readUnscrambled(int file);
bool writeScrambled(int file, const std::string& scrambled);

}  // namespace qen::files
