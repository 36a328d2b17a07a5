#pragma once
// The simulator's trace: one line per frame in and out and per notable event,
// time-stamped and flushed at once so a test can follow it while the box runs.

#include <cstdio>
#include <string>

namespace sim {

class Trace {
public:
    ~Trace();
    bool open(const std::string &path, std::string *error);
    bool enabled() const { return file_ != nullptr; }
    // "12:00:00.123 <text>\n"
    void line(const std::string &text);

private:
    FILE *file_ = nullptr;
};

} // namespace sim
