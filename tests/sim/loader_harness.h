#pragma once
// Drives the simulator's flash-loader in-process: sends requests as the PC
// would, acknowledges the box's own requests, and runs its timers until the
// answer comes. No pty, no process: the flash model and the loader's answers.

#include "flash_loader.h"
#include "memory.h"
#include "timers.h"
#include "wire.h"

#include <QStringList>
#include <QtTest>

#include <memory>
#include <thread>

struct LoaderHarness {
    sim::Flash flash;
    sim::Ram ram;
    sim::Timers timers;
    std::unique_ptr<sim::FlashLoader> loader;
    std::vector<sim::Bytes> boxRequests;   // data blocks and progress frames, in order
    std::vector<sim::Bytes> pending;       // frames the box sent, not yet looked at
    QStringList violations;
    uint8_t seq = 0;

    explicit LoaderHarness(const sim::ModelSpec &model, bool unlocked = false)
        : flash(model.flashKind, sim::kFlashBase, model.flashSize)
    {
        std::string error;
        if (!flash.open({}, &error) || !ram.open(&error))
            qFatal("%s", error.c_str());
        flash.setAllLocks(!unlocked);
        sim::LoaderSettings s;
        s.progress = model.progress;
        sim::LoaderHooks h;
        h.send = [this](const sim::Peer &, const sim::Bytes &f) { pending.push_back(f); };
        h.trace = [](const std::string &) {};
        h.violation = [this](const std::string &v) { violations << QString::fromStdString(v); };
        h.listenUdp = [](bool) {};
        h.requestServed = [] {};
        loader = std::make_unique<sim::FlashLoader>(s, flash, ram, timers, h);
    }

    void deliver(const sim::Bytes &f) { loader->onFrame(sim::Peer{}, f.data(), f.size()); }

    int32_t attach()
    {
        sim::Bytes payload{0x01, 0xC2, 0x00, 0x02, 0x4B, 0x7D, 0, 0, 0xFF, 127, 0, 0, 2, 0, 0, 0, 0};
        seq = 0;
        deliver(sim::buildFrame(sim::OpAttach, 0, payload));
        return awaitAnswer(0);
    }

    // Sends one request with the next sequence number and returns the box's answer.
    int32_t request(uint8_t op, const sim::Bytes &payload) { return send(op, ++seq, payload); }

    int32_t send(uint8_t op, uint8_t s, const sim::Bytes &payload)
    {
        deliver(sim::buildFrame(op, s, payload));
        return awaitAnswer(s);
    }

    int32_t awaitAnswer(uint8_t s)
    {
        for (int rounds = 0; rounds < 100000; ++rounds) {
            while (!pending.empty()) {
                sim::Bytes f = pending.front();
                pending.erase(pending.begin());
                if (f[4] == sim::OpAck && f[5] == s)
                    return int32_t(sim::getBe32(f.data() + 6));
                if (f[4] == sim::OpUpload || f[4] == sim::OpProgress) {
                    boxRequests.push_back(f);
                    deliver(sim::buildAck(f[5], 0));
                }
            }
            if (auto next = timers.next()) {
                std::this_thread::sleep_until(*next);
                timers.runDue(sim::Clock::now());
            }
        }
        qFatal("no answer for seq %d", s);
        return 0;
    }
};

inline sim::Bytes be32s(std::initializer_list<uint32_t> values)
{
    sim::Bytes b;
    for (uint32_t v : values)
        sim::putBe32(b, v);
    return b;
}
