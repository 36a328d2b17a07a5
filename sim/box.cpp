#include "box.h"

#include <arpa/inet.h>

namespace sim {

namespace {
// After --reboot-after's last answer the box resets this much later, so the
// answer still reaches the line first.
constexpr Ms kRebootDelay{50};
} // namespace

Box::Box(const Options &options, Flash &flash, Ram &ram, Timers &timers, Trace &trace, SerialLine &serial,
         UdpPort &udp)
    : options_(options), flash_(flash), ram_(ram), timers_(timers), trace_(trace), serial_(serial), udp_(udp),
      faults_(options.seed, options.faultsIn, options.faultsOut)
{
    assembler_.onFrame = [this](const uint8_t *f, size_t n) { incoming(Peer{}, f, n); };
    assembler_.onMalformed = [this](const std::string &what) { violation("serial: " + what); };
}

void Box::portOpened(bool open)
{
    trace_.line(open ? "port opened by the tool" : "port closed by the tool");
    if (!open && options_.exitOnClose) {
        exitRequested_ = true;
        return;
    }
    powerOff(true);
    if (open)
        powerOn(Ms(options_.powerOnDelayMs));
}

void Box::powerCycle()
{
    trace_.line("power cycle (signal)");
    powerOff(true);
    if (serial_.portOpen())
        powerOn(Ms(options_.powerOnDelayMs));
}

// Flash keeps its contents; RAM, the loader and the lock bits start over.
void Box::powerOff(bool discardOutput)
{
    if (power_ != Power::Off)
        trace_.line("power off");
    timers_.clear();
    if (discardOutput)
        serial_.discardOutput();
    loader_.reset();
    rom_.reset();
    assembler_.reset();
    udpListening_ = false;
    power_ = Power::Off;
}

void Box::powerOn(Ms delay)
{
    timers_.after(delay, [this] {
        trace_.line("power on");
        ram_.clear();
        flash_.setAllLocks(!options_.unlocked);
        startRom();
    });
}

void Box::startRom()
{
    loader_.reset();
    assembler_.reset();
    udpListening_ = false;
    const std::string banner = options_.banner ? *options_.banner : std::string(options_.model->banner);
    BootRomHooks hooks;
    hooks.console = [this](const std::string &text) { serial_.write(text); };
    hooks.trace = [this](const std::string &text) { trace_.line(text); };
    hooks.violation = [this](const std::string &what) { violation("boot: " + what); };
    hooks.uploadStarted = [this] {
        if (options_.stallReadMs > 0 && !stallReadFired_) {
            stallReadFired_ = true;
            trace_.line("fault: serial line not read for " + std::to_string(options_.stallReadMs) + " ms");
            serial_.pauseReading(Ms(options_.stallReadMs));
        }
    };
    rom_ = std::make_unique<BootRom>(*options_.model, banner, options_.bannerOneWrite, Ms(options_.stallReadMs),
                                     timers_, std::move(hooks));
    power_ = Power::Rom;
    rom_->start();
}

void Box::startLoader()
{
    LoaderSettings s;
    std::copy(udp_.address(), udp_.address() + 4, s.boxIp);
    // 02-4B-7D followed by the low three octets of the box address: unique per simulator.
    const uint8_t mac[6] = {0x02, 0x4B, 0x7D, s.boxIp[1], s.boxIp[2], s.boxIp[3]};
    std::copy(mac, mac + 6, s.mac);
    s.progress = options_.model->progress;
    s.eraseMsPerBlock = options_.eraseMsPerBlock;
    s.copyMsPerBlock = options_.copyMsPerBlock;
    s.badCrc = options_.badCrc;
    s.failOpcodes = options_.failOpcodes;

    LoaderHooks hooks;
    hooks.send = [this](const Peer &to, const Bytes &frame) { send(to, frame); };
    hooks.trace = [this](const std::string &text) { trace_.line(text); };
    hooks.violation = [this](const std::string &what) { violation(what); };
    hooks.listenUdp = [this](bool on) {
        udpListening_ = on;
        trace_.line(on ? "loader listens on UDP too" : "loader on the serial line only");
    };
    hooks.requestServed = [this] { requestServed(); };
    loader_ = std::make_unique<FlashLoader>(std::move(s), flash_, ram_, timers_, std::move(hooks));
    power_ = Power::Loader;
    rom_.reset();
    if (!options_.console.empty())
        serial_.write(options_.console);
    loader_->start();
    if (options_.stallAfter == 0 && !stallFired_) {
        stallFired_ = true;
        trace_.line("fault: loader hangs before its first request");
        loader_->stall();
    }
}

void Box::onSerialData(const uint8_t *data, size_t n)
{
    if (power_ == Power::Rom) {
        const size_t used = rom_->feed(data, n);
        if (!rom_->loaderReady())
            return;
        startLoader();
        data += used;
        n -= used;
    }
    if (power_ == Power::Loader)
        assembler_.feed(data, n, Clock::now());
}

void Box::onDatagram(const sockaddr_in &from, const uint8_t *data, size_t n)
{
    if (power_ != Power::Loader || !udpListening_) {
        trace_.line("in udp datagram of " + std::to_string(n) + " bytes ignored: not listening on UDP");
        return;
    }
    if (n < kMinFrame || data[0] != 'K' || data[1] != 'X' || frameLength(data) != n) {
        violation("udp: malformed datagram of " + std::to_string(n) + " bytes");
        return;
    }
    Peer p;
    p.transport = Peer::Udp;
    p.addr = from;
    incoming(p, data, n);
}

void Box::incoming(const Peer &from, const uint8_t *data, size_t n)
{
    Bytes frame(data, data + n);
    const std::string where = std::string(transportName(from)) + " ";
    if (trace_.enabled())
        trace_.line("in " + where + describeFrame(frame.data(), n));
    const FrameFate fate = faults_.next(Direction::In, n);
    if (fate.drop) {
        trace_.line("fault: dropped in " + where);
        return;
    }
    if (fate.corrupt) {
        frame[fate.corruptBit / 8] ^= uint8_t(1u << (fate.corruptBit % 8));
        trace_.line("fault: corrupted in " + where + "bit " + std::to_string(fate.corruptBit));
    }
    if (xorSum(frame.data(), n) != 0) {
        if (fate.corrupt)
            trace_.line("checksum error (injected), frame dropped");
        else
            violation("checksum error in a frame from the PC, dropped");
        return;
    }
    for (int copies = fate.duplicate ? 2 : 1; copies > 0 && loader_; --copies) {
        if (copies == 1 && fate.duplicate)
            trace_.line("fault: duplicated in " + where);
        loader_->onFrame(from, frame.data(), n);
    }
}

void Box::send(const Peer &to, Bytes frame)
{
    const FrameFate fate = faults_.next(Direction::Out, frame.size());
    const char *note = "";
    if (fate.drop) {
        trace_.line("fault: dropped out " + std::string(transportName(to)) + " " +
                    describeFrame(frame.data(), frame.size()));
        return;
    }
    if (fate.corrupt) {
        frame[fate.corruptBit / 8] ^= uint8_t(1u << (fate.corruptBit % 8));
        note = " (fault: corrupted)";
    }
    const int copies = fate.duplicate ? 2 : 1;
    for (int i = 0; i < copies; ++i) {
        const char *n = i ? " (fault: duplicate)" : note;
        if (options_.delayMs > 0)
            timers_.after(Ms(options_.delayMs), [this, to, frame, n] { transmit(to, frame, n); });
        else
            transmit(to, frame, n);
    }
}

void Box::transmit(const Peer &to, const Bytes &frame, const char *note)
{
    if (trace_.enabled())
        trace_.line("out " + std::string(transportName(to)) + " " + describeFrame(frame.data(), frame.size()) + note);
    if (to.transport == Peer::Serial) {
        serial_.write(frame.data(), frame.size());
        // Console text between frames, as a chatty loader prints it; the PC must skip it.
        if (!options_.console.empty() && frame.size() > 4 && frame[4] == OpAck)
            serial_.write(options_.console);
        return;
    }
    std::string error;
    if (!udp_.sendTo(to.addr, frame.data(), frame.size(), &error))
        trace_.line("udp send to " + std::string(inet_ntoa(to.addr.sin_addr)) + " failed: " + error);
}

void Box::violation(const std::string &what)
{
    ++violations_;
    trace_.line("violation: " + what);
}

void Box::requestServed()
{
    ++requestsServed_;
    if (options_.stallAfter > 0 && requestsServed_ >= options_.stallAfter && !stallFired_) {
        stallFired_ = true;
        trace_.line("fault: loader hangs after " + std::to_string(requestsServed_) + " requests");
        loader_->stall();
    }
    if (options_.rebootAfter >= 0 && requestsServed_ >= options_.rebootAfter && !rebootFired_) {
        rebootFired_ = true;
        trace_.line("fault: reboot after " + std::to_string(requestsServed_) + " requests");
        timers_.after(kRebootDelay, [this] {
            powerOff(false);   // the last answer is still on its way to the PC
            trace_.line("reboot");
            ram_.clear();
            flash_.setAllLocks(!options_.unlocked);
            startRom();
        });
    }
}

} // namespace sim
