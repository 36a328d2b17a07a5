#include "options.h"

#include <charconv>
#include <functional>
#include <map>

namespace sim {

std::string unescape(const std::string &t)
{
    std::string out;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i] != '\\' || i + 1 == t.size()) {
            out += t[i];
            continue;
        }
        const char c = t[++i];
        switch (c) {
        case '0': out += '\0'; break;
        case 'r': out += '\r'; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'x':
            if (i + 2 < t.size()) {
                unsigned v = 0;
                auto r = std::from_chars(t.data() + i + 1, t.data() + i + 3, v, 16);
                if (r.ec == std::errc() && r.ptr == t.data() + i + 3) {
                    out += char(v);
                    i += 2;
                    break;
                }
            }
            out += "\\x";
            break;
        default: out += c; break;
        }
    }
    return out;
}

template <typename T>
static bool number(const std::string &s, T &v)
{
    auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

// RATE[:in|out]; without a direction the rate applies both ways.
static bool faultRate(const std::string &s, double FaultRates::*field, Options &o)
{
    std::string rate = s, dir;
    if (auto colon = s.find(':'); colon != std::string::npos) {
        rate = s.substr(0, colon);
        dir = s.substr(colon + 1);
    }
    double v = 0;
    if (!number(rate, v) || v < 0 || v > 1 || (!dir.empty() && dir != "in" && dir != "out"))
        return false;
    if (dir != "out")
        o.faultsIn.*field = v;
    if (dir != "in")
        o.faultsOut.*field = v;
    return true;
}

struct OptionSpec {
    const char *name;
    const char *arg;    // nullptr: a flag
    const char *help;
    std::function<bool(Options &, const std::string &)> apply;
};

static const std::vector<OptionSpec> &specs()
{
    static const std::vector<OptionSpec> s = {
        {"--model", "NAME", "box model: KX210|KX23xx|SOLAN318|KX4000|KX4020 (default KX210)",
         [](Options &o, const std::string &v) { return (o.model = findModel(v)) != nullptr; }},
        {"--banner", "TEXT", "banner pattern printed at the end of the boot text (\\0 \\r \\n \\xHH escapes)",
         [](Options &o, const std::string &v) { o.banner = unescape(v); return true; }},
        {"--banner-one-write", nullptr, "print the banner in one write (default: split over two)",
         [](Options &o, const std::string &) { o.bannerOneWrite = true; return true; }},
        {"--power-on-delay", "MS", "time from the port's open to the boot text (default 300)",
         [](Options &o, const std::string &v) { return number(v, o.powerOnDelayMs) && o.powerOnDelayMs >= 0; }},
        {"--exit-on-close", nullptr, "end when the tool closes the port (default: switch the box off)",
         [](Options &o, const std::string &) { o.exitOnClose = true; return true; }},
        {"--unlocked", nullptr, "NOR lock bits clear at power-on (default: all set)",
         [](Options &o, const std::string &) { o.unlocked = true; return true; }},
        {"--flash-file", "PATH", "keep the flash contents in this file (created with a pattern when missing)",
         [](Options &o, const std::string &v) { o.flashFile = v; return !v.empty(); }},
        {"--pty-link", "PATH", "make a symbolic link to the pseudo-terminal",
         [](Options &o, const std::string &v) { o.ptyLink = v; return !v.empty(); }},
        {"--serial", "DEV", "use this serial device instead of a pseudo-terminal (powered on at start)",
         [](Options &o, const std::string &v) { o.serialDevice = v; return !v.empty(); }},
        {"--box-ip", "ADDR", "the box's IPv4 address for UDP and the discover frame (default 127.0.0.2)",
         [](Options &o, const std::string &v) { o.boxIp = v; return !v.empty(); }},
        {"--baud", "RATE", "pty: pace the line like a real one, 10 bit times per byte (default: full speed); --serial: its rate (default 115200)",
         [](Options &o, const std::string &v) { return number(v, o.baud) && o.baud > 0; }},
        {"--erase-ms", "MS", "flash erase time per 128 KiB block (default 2)",
         [](Options &o, const std::string &v) { return number(v, o.eraseMsPerBlock) && o.eraseMsPerBlock >= 0; }},
        {"--copy-ms", "MS", "flash copy time per 128 KiB block (default 1)",
         [](Options &o, const std::string &v) { return number(v, o.copyMsPerBlock) && o.copyMsPerBlock >= 0; }},
        {"--seed", "N", "seed of the fault decisions (default 1)",
         [](Options &o, const std::string &v) { return number(v, o.seed); }},
        {"--drop", "RATE[:in|out]", "drop this share of frames (0..1), both ways unless in or out",
         [](Options &o, const std::string &v) { return faultRate(v, &FaultRates::drop, o); }},
        {"--corrupt", "RATE[:in|out]", "flip one bit in this share of frames",
         [](Options &o, const std::string &v) { return faultRate(v, &FaultRates::corrupt, o); }},
        {"--duplicate", "RATE[:in|out]", "deliver this share of frames twice",
         [](Options &o, const std::string &v) { return faultRate(v, &FaultRates::duplicate, o); }},
        {"--delay", "MS", "hold every frame the box sends for this long",
         [](Options &o, const std::string &v) { return number(v, o.delayMs) && o.delayMs >= 0; }},
        {"--stall-after", "N", "stop answering after N requests (once; a power cycle revives the box)",
         [](Options &o, const std::string &v) { return number(v, o.stallAfter) && o.stallAfter >= 0; }},
        {"--reboot-after", "N", "go back to the boot banner after N requests (once)",
         [](Options &o, const std::string &v) { return number(v, o.rebootAfter) && o.rebootAfter >= 0; }},
        {"--bad-crc", nullptr, "calccrc32 answers a wrong value",
         [](Options &o, const std::string &) { o.badCrc = true; return true; }},
        {"--fail", "OPCODE", "answer -1 to this opcode without carrying it out (repeatable)",
         [](Options &o, const std::string &v) {
             int op = 0;
             return number(v, op) && op >= 0 && op < 256 && o.failOpcodes.insert(op).second;
         }},
        {"--stall-read", "MS", "stop reading the serial line this long when the loader upload starts",
         [](Options &o, const std::string &v) { return number(v, o.stallReadMs) && o.stallReadMs >= 0; }},
        {"--console", "TEXT", "console text the loader prints on the serial line between frames",
         [](Options &o, const std::string &v) { o.console = unescape(v); return true; }},
        {"--strict", nullptr, "exit with status 3 when the PC broke the protocol",
         [](Options &o, const std::string &) { o.strict = true; return true; }},
        {"--trace", "FILE", "log every frame in and out, flushed line by line",
         [](Options &o, const std::string &v) { o.tracePath = v; return !v.empty(); }},
        {"--help", nullptr, "this list",
         [](Options &o, const std::string &) { o.help = true; return true; }},
    };
    return s;
}

bool parseOptions(int argc, char **argv, Options &o, std::string *error)
{
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i], value;
        bool inlineValue = false;
        if (auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
            inlineValue = true;
        }
        const OptionSpec *spec = nullptr;
        for (const auto &s : specs())
            if (name == s.name)
                spec = &s;
        if (!spec) {
            *error = "unknown option " + name + " (see --help)";
            return false;
        }
        if (spec->arg && !inlineValue) {
            if (i + 1 >= argc) {
                *error = name + " needs " + spec->arg;
                return false;
            }
            value = argv[++i];
        }
        if (!spec->apply(o, value)) {
            *error = "bad value for " + name + ": \"" + value + "\" (expected " + (spec->arg ? spec->arg : "no value") + ")";
            return false;
        }
    }
    return true;
}

std::string helpText()
{
    std::string t = "usage: morvabox-sim [options]\n"
                    "A simulated Morvabox: boot ROM, flash-loader and flash, on a pseudo-terminal and UDP.\n"
                    "Prints \"pty PATH\" (or \"serial DEV\") and \"udp ADDRESS:19288\" as its first two lines.\n"
                    "SIGUSR1 power-cycles the box; SIGTERM and SIGINT end the simulator.\n\noptions:\n";
    for (const auto &s : specs()) {
        std::string left = std::string("  ") + s.name + (s.arg ? std::string(" ") + s.arg : "");
        left.resize(std::max<size_t>(left.size() + 2, 30), ' ');
        t += left + s.help + "\n";
    }
    return t;
}

} // namespace sim
