#pragma once
// A small scripted PC for end-to-end tests of the simulator: opens the pty,
// writes bytes, waits for texts and frames, and walks the boot dialogue. It builds its frames itself, so
// these tests do not lean on the simulator's own wire code.

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

inline QByteArray be32(uint32_t v)
{
    const char b[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    return QByteArray(b, 4);
}

inline uint32_t readBe32(const QByteArray &f, int at)
{
    return uint32_t(uint8_t(f[at])) << 24 | uint32_t(uint8_t(f[at + 1])) << 16 | uint32_t(uint8_t(f[at + 2])) << 8 |
           uint8_t(f[at + 3]);
}

inline QByteArray kxFrame(uint8_t op, uint8_t seq, const QByteArray &payload = {})
{
    QByteArray f("KX");
    const int len = 7 + int(payload.size());
    f += char(len >> 8);
    f += char(len);
    f += char(op);
    f += char(seq);
    f += payload;
    char x = 0;
    for (char c : f)
        x ^= c;
    return f + x;
}

// Bit by bit, the slow and obvious way: start 0xFFFFFFFF, no final inversion.
inline uint32_t referenceCrc(const QByteArray &data)
{
    uint32_t c = 0xFFFFFFFFu;
    for (char ch : data) {
        c ^= uint8_t(ch);
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    }
    return c;
}

class PtyClient {
public:
    ~PtyClient() { close(); }

    bool open(const QString &path)
    {
        fd_ = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
        if (fd_ < 0)
            return false;
        termios t{};
        tcgetattr(fd_, &t);
        cfmakeraw(&t);
        tcsetattr(fd_, TCSANOW, &t);
        buf_.clear();
        return true;
    }

    void close()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

    bool write(const QByteArray &data)
    {
        qsizetype done = 0;
        while (done < data.size()) {
            const ssize_t w = ::write(fd_, data.constData() + done, size_t(data.size() - done));
            if (w <= 0)
                return false;
            done += w;
        }
        return true;
    }

    // Everything up to and including the pattern; empty when it did not come in time.
    QByteArray readUntil(const QByteArray &pattern, int timeoutMs)
    {
        QElapsedTimer t;
        t.start();
        for (;;) {
            const qsizetype at = buf_.indexOf(pattern);
            if (at >= 0) {
                const QByteArray out = buf_.left(at + pattern.size());
                buf_.remove(0, at + pattern.size());
                return out;
            }
            if (!fill(int(timeoutMs - t.elapsed())))
                return {};
        }
    }

    // The next frame, skipping bytes outside frames; empty on time-out.
    QByteArray readFrame(int timeoutMs)
    {
        QElapsedTimer t;
        t.start();
        for (;;) {
            const qsizetype at = buf_.indexOf("KX");
            if (at > 0)
                buf_.remove(0, at);
            if (at >= 0 && buf_.size() >= 4) {
                const int len = uint8_t(buf_[2]) << 8 | uint8_t(buf_[3]);
                if (len < 7 || len > 2048) {   // "KX" in console text, not a frame
                    buf_.remove(0, 1);
                    continue;
                }
                if (buf_.size() >= len) {
                    const QByteArray f = buf_.left(len);
                    buf_.remove(0, len);
                    return f;
                }
            }
            if (!fill(int(timeoutMs - t.elapsed())))
                return {};
        }
    }

private:
    bool fill(int timeoutMs)
    {
        if (timeoutMs <= 0)
            return false;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0)
            return false;
        char tmp[65536];
        const ssize_t r = ::read(fd_, tmp, sizeof tmp);
        if (r <= 0)
            return false;
        buf_.append(tmp, r);
        return true;
    }

    int fd_ = -1;
    QByteArray buf_;
};

// The boot dialogue and the requests, as the PC side of the tests plays them.

constexpr int kWaitMs = 3000;        // for anything the box should answer promptly
constexpr int kSilenceMs = 400;      // to see that the box does not answer (it answers within ms)
constexpr uint32_t kFlashBase = 0x7F800000u;

struct ModelRow {
    const char *option;
    QByteArray banner;
    int loaderSize;
};

inline const ModelRow kModels[] = {
    {"KX210", QByteArray("Morvabox K\0X210", 15), 43040},
    {"KX23xx", QByteArray("Morvabox K\0X23", 14), 43040},
    {"SOLAN318", QByteArray("SOLAN\0 318", 10), 43040},
    {"KX4000", QByteArray("Morvabox K\0X4000", 16), 65568},
    {"KX4020", QByteArray("Morvabox K\0X4020", 16), 103128},
};

inline QByteArray uploadHeader(int length)
{
    QByteArray h = QByteArray::fromHex("4734000000");
    h += char(length >> 16);
    h += char(length >> 8);
    h += char(length);
    return h;
}

// A stand-in loader: any bytes do, the box checks only length and check value.
inline QByteArray loaderImage(int size)
{
    QByteArray l(size, '\0');
    for (int i = 0; i < size; ++i)
        l[i] = char(i * 7 + (i >> 8));
    return l;
}

inline QByteArray withCheckValue(const QByteArray &loader)
{
    return loader + be32(referenceCrc(loader));
}

inline QByteArray flashPattern(uint32_t addr, int n)
{
    QByteArray out;
    for (uint32_t a = addr & ~3u; out.size() < n + int(addr & 3); a += 4)
        out += be32(a);
    return out.mid(int(addr & 3), n);
}

inline QByteArray dottedQuad(const QString &ip)
{
    QByteArray out;
    for (const QString &octet : ip.split('.'))
        out += char(octet.toInt());
    return out;
}

// Baud 115200, MAC 02-4B-7D-00-00-FF, the box address, and the server address
// (empty: 0.0.0.0, the serial line only).
inline QByteArray attachPayload(const QString &boxIp, const QString &serverIp = {})
{
    return QByteArray::fromHex("01C200024B7D0000FF") + dottedQuad(boxIp) +
           (serverIp.isEmpty() ? QByteArray(4, '\0') : dottedQuad(serverIp));
}


// From power-on to the loader's discover frame; returns that frame.
inline QByteArray bootToLoader(PtyClient &pc, const ModelRow &m)
{
    if (pc.readUntil(m.banner, kWaitMs).isEmpty())
        return {};
    const QByteArray image = withCheckValue(loaderImage(m.loaderSize));
    // The header goes out with the keyword, before the box has said "ok".
    pc.write("vexil" + uploadHeader(int(image.size())));
    if (pc.readUntil("ok\r", kWaitMs).isEmpty() || pc.readUntil("loading instr. file", kWaitMs).isEmpty())
        return {};
    for (int at = 0; at < image.size(); at += 1024)
        pc.write(image.mid(at, 1024));
    return pc.readFrame(kWaitMs);
}

// Sends a request and returns the answer value of its acknowledgement,
// acknowledging progress frames on the way; kNoAnswer when none came.
constexpr qint64 kNoAnswer = Q_INT64_C(0x100000000);
inline qint64 ask(PtyClient &pc, uint8_t op, uint8_t seq, const QByteArray &payload = {}, int waitMs = kWaitMs)
{
    pc.write(kxFrame(op, seq, payload));
    for (;;) {
        const QByteArray a = pc.readFrame(waitMs);
        if (a.size() > 5 && a[4] == 14) {
            pc.write(kxFrame(3, uint8_t(a[5]), be32(0)));
            continue;
        }
        if (a.size() != 11 || a[4] != 3 || uint8_t(a[5]) != seq)
            return kNoAnswer;
        return int32_t(readBe32(a, 6));
    }
}

inline bool attach(PtyClient &pc, const QString &boxIp, const QString &serverIp = {})
{
    return ask(pc, 1, 0, attachPayload(boxIp, serverIp)) == 0;
}

// Receives a download stream, acknowledging each block; returns the data.
inline QByteArray receiveDownload(PtyClient &pc, uint8_t seq, qint64 *answer)
{
    QByteArray data;
    for (;;) {
        const QByteArray f = pc.readFrame(kWaitMs);
        if (f.isEmpty())
            return data;
        if (f[4] == 3 && uint8_t(f[5]) == seq) {
            *answer = int32_t(readBe32(f, 6));
            return data;
        }
        data += f.mid(14, int(readBe32(f, 10)));
        pc.write(kxFrame(3, uint8_t(f[5]), be32(0)));
    }
}

// Opens the port (the box switches on), walks the boot dialogue and attaches.
inline bool connectAndAttach(PtyClient &pc, const QString &ptyPath, const QString &boxIp, const QString &serverIp = {})
{
    return pc.open(ptyPath) && !bootToLoader(pc, kModels[0]).isEmpty() && attach(pc, boxIp, serverIp);
}
