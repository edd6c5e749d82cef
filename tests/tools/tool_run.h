// Runs the quillon-tool built next to this test binary and keeps what it
// printed, for the tests that drive it as package authors do.
#pragma once

#include <unistd.h>

#include <climits>
#include <string>

#include "tests/package/zip_test_util.h"

inline std::string ToolPath() {
    char self[PATH_MAX] = {};
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string dir = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string();
    dir = dir.substr(0, dir.rfind('/'));
    return dir + "/../tools/quillon-tool/quillon-tool";
}

struct ToolRun {
    int status;
    std::string out;
    std::string err;
};

// The tool with these (already quoted) arguments; its output goes through
// files in dir so that both streams come back whole.
inline ToolRun Tool(const ScratchDir& dir, const std::string& arguments) {
    const std::string out = dir.Sub("stdout.txt");
    const std::string err = dir.Sub("stderr.txt");
    ToolRun r;
    r.status = RunCommand(ShellQuote(ToolPath()) + " " + arguments + " >" + ShellQuote(out) + " 2>" + ShellQuote(err));
    r.out = ReadBytes(out);
    r.err = ReadBytes(err);
    return r;
}

// The same, ended by timeout(1) after the given seconds (status 124 then).
inline ToolRun ToolWithin(const ScratchDir& dir, int seconds, const std::string& arguments) {
    const std::string out = dir.Sub("stdout.txt");
    const std::string err = dir.Sub("stderr.txt");
    ToolRun r;
    r.status = RunCommand("timeout " + std::to_string(seconds) + " " + ShellQuote(ToolPath()) + " " + arguments + " >" +
                          ShellQuote(out) + " 2>" + ShellQuote(err));
    r.out = ReadBytes(out);
    r.err = ReadBytes(err);
    return r;
}
