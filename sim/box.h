#pragma once
// The whole box: power, boot ROM, flash-loader, memories, and the faults
// between them and the transports.

#include "boot_rom.h"
#include "faults.h"
#include "flash_loader.h"
#include "frame_assembler.h"
#include "memory.h"
#include "options.h"
#include "serial_line.h"
#include "timers.h"
#include "trace.h"
#include "udp_port.h"

#include <memory>

namespace sim {

class Box {
public:
    Box(const Options &options, Flash &flash, Ram &ram, Timers &timers, Trace &trace, SerialLine &serial,
        UdpPort &udp);

    void portOpened(bool open);   // the tool opened or closed the serial port
    void powerCycle();            // SIGUSR1
    void onSerialData(const uint8_t *data, size_t n);
    void onDatagram(const sockaddr_in &from, const uint8_t *data, size_t n);

    long violations() const { return violations_; }
    bool exitRequested() const { return exitRequested_; }

private:
    enum class Power { Off, Rom, Loader };

    void powerOn(Ms delay);
    void powerOff(bool discardOutput);
    void startRom();
    void startLoader();
    void incoming(const Peer &from, const uint8_t *data, size_t n);
    void send(const Peer &to, Bytes frame);
    void transmit(const Peer &to, const Bytes &frame, const char *note);
    void violation(const std::string &what);
    void requestServed();

    const Options &options_;
    Flash &flash_;
    Ram &ram_;
    Timers &timers_;
    Trace &trace_;
    SerialLine &serial_;
    UdpPort &udp_;
    FaultInjector faults_;

    Power power_ = Power::Off;
    std::unique_ptr<BootRom> rom_;
    std::unique_ptr<FlashLoader> loader_;
    FrameAssembler assembler_;
    bool udpListening_ = false;

    long violations_ = 0;
    long requestsServed_ = 0;
    bool stallFired_ = false, rebootFired_ = false, stallReadFired_ = false;
    bool exitRequested_ = false;
};

} // namespace sim
