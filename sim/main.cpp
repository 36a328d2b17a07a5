// morvabox-sim: a simulated Morvabox for the demo, the end-to-end tests and the benchmarks.

#include "box.h"
#include "memory.h"
#include "options.h"
#include "serial_line.h"
#include "timers.h"
#include "trace.h"
#include "udp_port.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

using namespace sim;

namespace {

constexpr int kExitProtocolBroken = 3;
constexpr int kExitSetupFailed = 2;

int signalPipe[2] = {-1, -1};

void onSignal(int sig)
{
    const char c = char(sig);
    (void)!::write(signalPipe[1], &c, 1);
}

bool installSignals()
{
    if (pipe2(signalPipe, O_NONBLOCK | O_CLOEXEC) != 0)
        return false;
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    for (int s : {SIGTERM, SIGINT, SIGUSR1})
        sigaction(s, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    return true;
}

int fail(const std::string &error)
{
    std::fprintf(stderr, "morvabox-sim: %s\n", error.c_str());
    return kExitSetupFailed;
}

} // namespace

int main(int argc, char **argv)
{
    Options options;
    std::string error;
    if (!parseOptions(argc, argv, options, &error))
        return fail(error);
    if (options.help) {
        std::fputs(helpText().c_str(), stdout);
        return 0;
    }
    if (!installSignals())
        return fail("cannot set up signal handling");

    Trace trace;
    if (!options.tracePath.empty() && !trace.open(options.tracePath, &error))
        return fail(error);
    Flash flash(options.model->flashKind, kFlashBase, options.model->flashSize);
    Ram ram;
    if (!flash.open(options.flashFile, &error) || !ram.open(&error))
        return fail(error);
    UdpPort udp;
    if (!udp.open(options.boxIp, &error))
        return fail(error);
    SerialLine serial;
    const bool opened = options.serialDevice.empty() ? serial.openPty(options.ptyLink, &error)
                                                     : serial.openDevice(options.serialDevice, options.baud, &error);
    if (!opened)
        return fail(error);
    serial.setBaud(options.baud);

    std::printf("%s %s\nudp %s:%u\n", serial.isPty() ? "pty" : "serial", serial.name().c_str(),
                options.boxIp.c_str(), unsigned(kLinkPort));
    std::fflush(stdout);
    trace.line("morvabox-sim " + std::string(options.model->name) + " on " + serial.name() + " and udp " +
               options.boxIp);

    Timers timers;
    Box box(options, flash, ram, timers, trace, serial, udp);
    serial.onData = [&](const uint8_t *d, size_t n) { box.onSerialData(d, n); };
    serial.onPortOpen = [&](bool open) { box.portOpened(open); };
    if (!serial.isPty())
        box.portOpened(true);   // a real line: the box is on from the start

    bool running = true;
    std::vector<pollfd> fds;
    while (running && !box.exitRequested()) {
        fds.clear();
        fds.push_back({signalPipe[0], POLLIN, 0});
        fds.push_back({udp.fd(), POLLIN, 0});
        serial.addPollFds(fds);

        std::optional<TimePoint> deadline = timers.next();
        if (auto d = serial.nextDeadline())
            deadline = deadline ? std::min(*deadline, *d) : *d;
        timespec ts{};
        timespec *timeout = nullptr;
        if (deadline) {
            const auto wait = std::max<Clock::duration>(*deadline - Clock::now(), Clock::duration::zero());
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
            ts.tv_sec = ns / 1'000'000'000;
            ts.tv_nsec = ns % 1'000'000'000;
            timeout = &ts;
        }
        if (ppoll(fds.data(), fds.size(), timeout, nullptr) < 0 && errno != EINTR)
            return fail(std::string("poll failed: ") + std::strerror(errno));

        const TimePoint now = Clock::now();
        if (fds[0].revents) {
            char sig = 0;
            while (::read(signalPipe[0], &sig, 1) == 1) {
                if (sig == SIGUSR1)
                    box.powerCycle();
                else
                    running = false;
            }
        }
        if (fds[1].revents)
            udp.receive([&](const sockaddr_in &from, const uint8_t *d, size_t n) { box.onDatagram(from, d, n); });
        serial.handle(fds, now);
        timers.runDue(Clock::now());
    }

    trace.line("simulator ends, " + std::to_string(box.violations()) + " protocol violation(s) by the PC");
    if (options.strict && box.violations() > 0) {
        std::fprintf(stderr, "morvabox-sim: the PC broke the protocol %ld time(s), see the trace\n",
                     box.violations());
        return kExitProtocolBroken;
    }
    return 0;
}
