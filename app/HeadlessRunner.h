#pragma once
// The headless runner: plays the app without a window, from a script of taps, typed text and
// waits, and writes screenshots. Tests of the screens and a person checking a scene use it;
// the script format is in README.md.
//
// Contract (main thread only; the application is launched and its window shown before):
//  - Lines run in order. Each tap or typed text goes through the windows' own event delivery
//    (hit tests, gesture recognizers, controls), then the main loop runs the work that became
//    ready, so the next line sees the effects of the one before.
//  - wait and waitfor run the main loop on the platform Clock: with the virtual clock a wait
//    costs no real time.
//  - The first line that fails stops the run; the message names the script, the line number
//    and the line.
//  - if / else / end choose lines by what the screen shows when the if is read (blocks nest).

#include <filesystem>
#include <string>
#include <string_view>

namespace qen::app {

class HeadlessRunner {
  public:
    struct Options {
        // Where `shot` writes its PNG files (created when missing); empty: shot lines fail.
        std::filesystem::path shotsDirectory;
    };

    explicit HeadlessRunner(Options options) : options_(std::move(options)) {}

    // Runs the script file. False with `error` set when the file cannot be read or a line
    // failed.
    bool runFile(const std::filesystem::path& script, std::string& error);
    // Runs a script held in memory; `source` names it in messages.
    bool run(std::string_view script, std::string_view source, std::string& error);

  private:
    // Runs one command (comments and blank lines already skipped); false with `error` set.
    bool runCommand(std::string_view command, std::string_view argument, std::string& error);

    Options options_;
};

}  // namespace qen::app
