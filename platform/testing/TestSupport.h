#pragma once
// Helpers shared by the tests: running an outside program (the reference tools the tests
// compare against, or our own programs) and reading what it printed.

#include <sys/wait.h>

#include <cstdio>
#include <optional>
#include <string>

namespace platform::testing {

struct ProgramRun {
    std::string output;  // standard output (and whatever the command redirects into it)
    int status = -1;     // exit status, -1 when it did not exit normally
};

// Runs a shell command to its end.
inline ProgramRun runProgram(const std::string& command) {
    ProgramRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.output.append(buffer, n);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// Runs a shell command and answers its standard output, or std::nullopt when it fails.
inline std::optional<std::string> run(const std::string& command) {
    ProgramRun result = runProgram(command);
    if (result.status != 0) return std::nullopt;
    return std::move(result.output);
}

}  // namespace platform::testing
