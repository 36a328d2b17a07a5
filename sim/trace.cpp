#include "trace.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <sys/time.h>

namespace sim {

Trace::~Trace()
{
    if (file_)
        std::fclose(file_);
}

bool Trace::open(const std::string &path, std::string *error)
{
    file_ = std::fopen(path.c_str(), "w");
    if (!file_)
        *error = "cannot open trace file " + path + ": " + std::strerror(errno);
    return file_ != nullptr;
}

void Trace::line(const std::string &text)
{
    if (!file_)
        return;
    timeval tv{};
    gettimeofday(&tv, nullptr);
    tm local{};
    localtime_r(&tv.tv_sec, &local);
    std::fprintf(file_, "%02d:%02d:%02d.%03d %s\n", local.tm_hour, local.tm_min, local.tm_sec,
                 int(tv.tv_usec / 1000), text.c_str());
    std::fflush(file_);
}

} // namespace sim
