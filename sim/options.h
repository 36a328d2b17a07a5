#pragma once
// Command-line options of morvabox-sim.

#include "faults.h"
#include "models.h"

#include <cstdint>
#include <optional>
#include <set>
#include <string>

namespace sim {

struct Options {
    const ModelSpec *model = &defaultModel();
    std::optional<std::string> banner;   // raw bytes, replaces the model's pattern
    bool bannerOneWrite = false;
    int powerOnDelayMs = 300;
    bool exitOnClose = false;
    bool unlocked = false;
    std::string flashFile;
    std::string ptyLink;
    std::string serialDevice;
    std::string boxIp = "127.0.0.2";
    uint32_t baud = 0;                   // 0: as fast as the pty goes
    int eraseMsPerBlock = 2;
    int copyMsPerBlock = 1;
    uint64_t seed = 1;
    FaultRates faultsIn, faultsOut;
    int delayMs = 0;
    long stallAfter = -1;
    long rebootAfter = -1;
    bool badCrc = false;
    std::set<int> failOpcodes;
    int stallReadMs = 0;
    bool strict = false;
    std::string tracePath;
    std::string console;                 // raw bytes
    bool help = false;
};

// False with *error set for an unknown option or a bad value.
bool parseOptions(int argc, char **argv, Options &o, std::string *error);
std::string helpText();
// "\0", "\r", "\n", "\t", "\\" and "\xHH" escapes to raw bytes.
std::string unescape(const std::string &text);

} // namespace sim
