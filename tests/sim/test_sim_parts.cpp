// The simulator's parts in-process: its wire bytes against fixed vectors,
// its CRC-32, the flash model behind the loader's answers, the loader's
// sequence rules and download stream, and the reproducibility of its faults.

#include "loader_harness.h"

#include "crc32.h"
#include "faults.h"
#include "models.h"
#include "options.h"
#include "wire.h"

#include <QtTest>

using namespace sim;

namespace {

QByteArray bytes(const Bytes &b)
{
    return QByteArray(reinterpret_cast<const char *>(b.data()), qsizetype(b.size()));
}

const ModelSpec &model(const char *name)
{
    return *findModel(name);
}

struct Step {
    uint8_t op;
    Bytes payload;
    int32_t answer;
};
using Script = std::vector<Step>;

Bytes lockArgs(uint8_t mode, uint32_t addr, uint32_t count)
{
    Bytes b{mode};
    putBe32(b, addr);
    putBe32(b, count);
    return b;
}

constexpr uint32_t B = kFlashBase;
constexpr uint32_t Blk = kBlockSize;

} // namespace

Q_DECLARE_METATYPE(Script)

class TestSimParts : public QObject {
    Q_OBJECT

private slots:
    void wireVectors_data();
    void wireVectors();
    void crc_data();
    void crc();
    void flashRequests_data();
    void flashRequests();
    void norCopyOnlyClearsBits();
    void nandCopyErasesAsItGoes();
    void progressOfErase();
    void repeatIsAnsweredNotCarriedOut();
    void attachResetsTheBoxSequence();
    void downloadStreamsBlocksThenAnswers();
    void faultsAreReproducibleBySeed();
    void optionParsing_data();
    void optionParsing();
};

void TestSimParts::wireVectors_data()
{
    QTest::addColumn<QByteArray>("built");
    QTest::addColumn<QByteArray>("expected");
    const uint8_t mac[6] = {0x02, 0x4B, 0x7D, 0x11, 0x22, 0x33};
    const uint8_t ip[4] = {10, 0, 0, 2};
    QTest::newRow("nop seq 1") << bytes(buildFrame(OpNop, 1, {})) << QByteArray::fromHex("4B580007040111");
    QTest::newRow("ack 31337 seq 5") << bytes(buildAck(5, 31337)) << QByteArray::fromHex("4B58000B030500007A690D");
    QTest::newRow("ack -1") << bytes(buildAck(2, -1)).mid(6, 4) << QByteArray::fromHex("FFFFFFFF");
    QTest::newRow("attach") << bytes(buildFrame(OpAttach, 0, {0x01, 0xC2, 0x00, 0x02, 0x4B, 0x7D, 0x00, 0x00, 0xFF,
                                                              0xC0, 0xA8, 0x00, 0x64, 0xC0, 0xA8, 0x00, 0x01}))
                            << QByteArray::fromHex("4B5800180100 01C200 024B7D0000FF C0A80064 C0A80001 67").replace(' ', "");
    // Discover: no sequence number, payload from offset 5, 19 bytes.
    const Bytes d = buildDiscover(115200, mac, ip);
    QTest::newRow("discover head") << bytes(d).left(5) << QByteArray::fromHex("4B58001300");
    QTest::newRow("discover body") << bytes(d).mid(5, 13) << QByteArray::fromHex("01C200024B7D1122330A000002");
    QTest::newRow("discover sums to 0") << QByteArray(1, char(xorSum(d.data(), d.size()))) << QByteArray(1, '\0');
}

void TestSimParts::wireVectors()
{
    QFETCH(QByteArray, built);
    QFETCH(QByteArray, expected);
    QCOMPARE(built.toHex(' '), expected.toHex(' '));
}

void TestSimParts::crc_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<uint>("expected");
    QTest::newRow("123456789") << QByteArray("123456789") << 0x340BC6D9u;
    QTest::newRow("abc") << QByteArray("abc") << 0xCADBBE3Du;
    QTest::newRow("empty") << QByteArray() << 0xFFFFFFFFu;
    QTest::newRow("7 bytes: slices and single steps agree") << QByteArray("1234567") << 0u;
}

void TestSimParts::crc()
{
    QFETCH(QByteArray, data);
    QFETCH(uint, expected);
    auto p = reinterpret_cast<const uint8_t *>(data.constData());
    const uint32_t whole = crc32Update(kCrcStart, p, size_t(data.size()));
    // Byte by byte gives the same register as the table slices.
    uint32_t single = kCrcStart;
    for (qsizetype i = 0; i < data.size(); ++i)
        single = crc32Update(single, p + i, 1);
    QCOMPARE(whole, single);
    if (expected)
        QCOMPARE(whole, expected);
}

void TestSimParts::flashRequests_data()
{
    QTest::addColumn<QString>("modelName");
    QTest::addColumn<bool>("unlocked");
    QTest::addColumn<Script>("script");

    QTest::newRow("lock bits: clear at base, set boot blocks")
        << "KX210" << false
        << Script{{OpFlashLock, lockArgs(0, B, 1), 1}, {OpFlashLock, lockArgs(1, 0x7FFC0000, 1), 1},
                  {OpFlashLock, lockArgs(1, 0x7FFE0000, 1), 1}};
    QTest::newRow("lock outside the flash answers 0")
        << "KX4000" << false << Script{{OpFlashLock, lockArgs(0, 0x00800000, 1), 0}, {OpFlashLock, lockArgs(1, B + 0x800000, 1), 0}};
    QTest::newRow("erase of locked flash erases nothing")
        << "KX23xx" << false << Script{{OpFlashErase, be32s({B, 0x7C0000}), 0}};
    QTest::newRow("erase after clearing the lock bits")
        << "KX210" << false << Script{{OpFlashLock, lockArgs(0, B, 1), 1}, {OpFlashErase, be32s({B, 0x7C0000}), 0x7C0000}};
    QTest::newRow("erase stops at the first locked block")
        << "SOLAN318" << true
        << Script{{OpFlashLock, lockArgs(1, B + 2 * Blk, 1), 1}, {OpFlashErase, be32s({B, 4 * Blk}), int32_t(2 * Blk)}};
    QTest::newRow("erase counts from an unaligned start")
        << "KX210" << true
        << Script{{OpFlashLock, lockArgs(1, B + Blk, 1), 1}, {OpFlashErase, be32s({B + 0x100, 2 * Blk}), int32_t(Blk - 0x100)}};
    QTest::newRow("boot blocks survive the whole-flash erase")
        << "KX210" << false
        << Script{{OpFlashLock, lockArgs(0, B, 1), 1}, {OpFlashLock, lockArgs(1, 0x7FFC0000, 2), 1},
                  {OpFlashErase, be32s({B, 0x800000}), 0x7C0000}};
    QTest::newRow("erase beyond the flash") << "KX210" << true << Script{{OpFlashErase, be32s({B + 0x7F0000, 0x20000}), -1}};
    QTest::newRow("copy into locked flash") << "KX210" << false << Script{{OpFlashCopy, be32s({B, 0x800000, 0x1000}), 0}};
    QTest::newRow("copy from outside RAM") << "KX210" << true << Script{{OpFlashCopy, be32s({B, 0x2800000, 1}), -1}};
    QTest::newRow("upload outside RAM") << "KX210" << true << Script{{OpUpload, Bytes{0x02, 0x7F, 0xFF, 0xFF, 0, 0, 0, 2, 1, 2}, -1}};
    QTest::newRow("calccrc32 outside any memory") << "KX210" << true << Script{{OpCalcCrc32, be32s({0x70000000, 4}), -1}};
    QTest::newRow("calccrc32 of RAM")
        << "KX210" << true
        << Script{{OpUpload, Bytes{0, 0x80, 0, 0, 0, 0, 0, 9, '1', '2', '3', '4', '5', '6', '7', '8', '9'}, 0},
                  {OpCalcCrc32, be32s({0x800000, 9}), 0x340BC6D9}};
    QTest::newRow("nop") << "KX4020" << false << Script{{OpNop, {}, 31337}};
    QTest::newRow("NAND: no lock bits, no erase")
        << "KX4020" << false << Script{{OpFlashLock, lockArgs(0, B, 1), -1}, {OpFlashErase, be32s({B, Blk}), -1}};
    QTest::newRow("NAND: the 32 MiB area copies whole")
        << "KX4020" << false << Script{{OpFlashCopy, be32s({B, 0x800000, 0x2000000}), 0x2000000}};
    QTest::newRow("unknown opcode") << "KX210" << false << Script{{12, {}, -1}};
}

void TestSimParts::flashRequests()
{
    QFETCH(QString, modelName);
    QFETCH(bool, unlocked);
    QFETCH(Script, script);
    LoaderHarness h(model(modelName.toLatin1().constData()), unlocked);
    QCOMPARE(h.attach(), 0);
    for (const Step &s : script)
        QCOMPARE(h.request(s.op, s.payload), s.answer);
}

void TestSimParts::norCopyOnlyClearsBits()
{
    LoaderHarness h(model("KX210"), true);
    h.attach();
    const uint32_t ram = 0x800000;
    auto upload = [&](uint8_t value) {
        Bytes p = be32s({ram, 16});
        p.insert(p.end(), 16, value);
        QCOMPARE(h.request(OpUpload, p), 0);
    };
    upload(0x5A);
    QCOMPARE(h.request(OpFlashErase, be32s({B, Blk})), int32_t(Blk));
    QCOMPARE(h.request(OpFlashCopy, be32s({B, ram, 16})), 16);
    QCOMPARE(int(h.flash.at(B)[0]), 0x5A);
    // Programming again without an erase can only clear bits: 0x5A AND 0xA5 = 0.
    upload(0xA5);
    QCOMPARE(h.request(OpFlashCopy, be32s({B, ram, 16})), 16);
    QCOMPARE(int(h.flash.at(B)[15]), 0x00);
    // Unerased flash holding the pattern: the result is old AND new.
    QCOMPARE(h.request(OpFlashCopy, be32s({B + Blk, ram, 16})), 16);
    QCOMPARE(int(h.flash.at(B + Blk)[0]), int(Flash::patternByte(B + Blk) & 0xA5));
    // A locked block stops the copy; the answer counts what went before it.
    QCOMPARE(h.request(OpFlashLock, lockArgs(1, B + 2 * Blk, 1)), 1);
    QCOMPARE(h.request(OpFlashCopy, be32s({B + 2 * Blk - 8, ram, 16})), 8);
    QCOMPARE(int(h.flash.at(B + 2 * Blk)[0]), int(Flash::patternByte(B + 2 * Blk)));
}

void TestSimParts::nandCopyErasesAsItGoes()
{
    LoaderHarness h(model("KX4020"));
    h.attach();
    const uint32_t ram = 0x800000, start = B + 0x10000, length = 0x28000;   // blocks 0 and 1, neither whole
    // RAM is zero after power-on: the copy must give zeros, not old AND new.
    QCOMPARE(h.request(OpFlashCopy, be32s({start, ram, length})), int32_t(length));
    QCOMPARE(int(h.flash.at(start)[0]), 0);
    QCOMPARE(int(h.flash.at(start + length - 1)[0]), 0);
    // The blocks it touched were erased first: outside the range they read 0xFF.
    QCOMPARE(int(h.flash.at(B)[0]), 0xFF);
    QCOMPARE(int(h.flash.at(start + length)[0]), 0xFF);
    QCOMPARE(int(h.flash.at(B + 0x40000)[0]), int(Flash::patternByte(B + 0x40000)));
    // Progress in bytes, up to the length copied.
    QVERIFY(!h.boxRequests.empty());
    QCOMPARE(int(h.boxRequests.back()[4]), int(OpProgress));
    QCOMPARE(getBe32(h.boxRequests.back().data() + 6), length);
}

void TestSimParts::progressOfErase()
{
    LoaderHarness h(model("KX4000"), true);
    h.attach();
    QCOMPARE(h.request(OpFlashErase, be32s({B, 0x7C0000})), 0x7C0000);
    uint32_t last = 0;
    for (const Bytes &f : h.boxRequests) {
        QCOMPARE(int(f[4]), int(OpProgress));
        QVERIFY(getBe32(f.data() + 6) > last || last == 0);
        last = getBe32(f.data() + 6);
    }
    QCOMPARE(last, 100u);
    QCOMPARE(int(h.boxRequests.front()[5]), 1);   // the box's first request after an attach
}

void TestSimParts::repeatIsAnsweredNotCarriedOut()
{
    LoaderHarness h(model("KX210"));
    h.attach();
    Bytes first = be32s({0x800000, 1});
    first.push_back(0x11);
    QCOMPARE(h.request(OpUpload, first), 0);
    // The same sequence number again, other data: answered again, RAM untouched.
    Bytes again = be32s({0x800000, 1});
    again.push_back(0x22);
    QCOMPARE(h.send(OpUpload, h.seq, again), 0);
    QCOMPARE(int(*h.ram.at(0x800000)), 0x11);
    QCOMPARE(h.send(OpCalcCrc32, h.seq, be32s({0x800000, 1})), 0);   // still the upload's answer
    QVERIFY(h.violations.isEmpty());
    // A number that skips one is carried out, but counts against the PC.
    QCOMPARE(h.send(OpNop, h.seq + 2, {}), 31337);
    QCOMPARE(h.violations.size(), 1);
}

void TestSimParts::attachResetsTheBoxSequence()
{
    LoaderHarness h(model("KX210"), true);
    QCOMPARE(h.attach(), 0);
    QCOMPARE(h.request(OpFlashErase, be32s({B, 3 * Blk})), int32_t(3 * Blk));
    QVERIFY(h.boxRequests.size() == 3);
    QCOMPARE(int(h.boxRequests[2][5]), 3);
    // A repeated attach is carried out again, never taken as a repeat.
    QCOMPARE(h.attach(), 0);
    QCOMPARE(h.attach(), 0);
    h.boxRequests.clear();
    QCOMPARE(h.request(OpDownload, be32s({B, 16})), 16);
    QCOMPARE(int(h.boxRequests.at(0)[5]), 1);
    QVERIFY(h.violations.isEmpty());
}

void TestSimParts::downloadStreamsBlocksThenAnswers()
{
    LoaderHarness h(model("KX210"));
    h.attach();
    const uint32_t start = B + 0x7BF000, length = 2500;
    QCOMPARE(h.request(OpDownload, be32s({start, length})), int32_t(length));
    QCOMPARE(h.boxRequests.size(), size_t(3));
    const uint32_t counts[3] = {1024, 1024, 452};
    for (size_t i = 0; i < 3; ++i) {
        const Bytes &f = h.boxRequests[i];
        QCOMPARE(getBe32(f.data() + 6), start + 1024 * uint32_t(i));
        QCOMPARE(getBe32(f.data() + 10), counts[i]);
        QCOMPARE(f.size(), size_t(counts[i] + 15));
        QCOMPARE(int(f[14]), int(Flash::patternByte(start + 1024 * uint32_t(i))));
    }
    QCOMPARE(h.request(OpDownload, be32s({B + 0x7FF000, 0x2000})), -1);   // runs past the flash
}

void TestSimParts::faultsAreReproducibleBySeed()
{
    auto fates = [](uint64_t seed, Direction d) {
        FaultInjector f(seed, {0.3, 0.2, 0.1}, {0.3, 0.2, 0.1});
        QString s;
        for (int i = 0; i < 200; ++i) {
            const FrameFate x = f.next(d, 11);
            s += QString::number(x.drop) + QString::number(x.corrupt) + QString::number(x.corruptBit) +
                 QString::number(x.duplicate) + ' ';
        }
        return s;
    };
    QCOMPARE(fates(7, Direction::In), fates(7, Direction::In));
    QVERIFY(fates(7, Direction::In) != fates(8, Direction::In));
    QVERIFY(fates(7, Direction::In) != fates(7, Direction::Out));
    // Rates are honoured roughly; a rate of 0 never fires.
    FaultInjector none(7, {}, {});
    FaultInjector half(7, {0.5, 0, 0}, {});
    int drops = 0;
    for (int i = 0; i < 1000; ++i) {
        QVERIFY(!none.next(Direction::In, 11).drop);
        drops += half.next(Direction::In, 11).drop;
    }
    QVERIFY2(drops > 400 && drops < 600, qPrintable(QString::number(drops)));
}

void TestSimParts::optionParsing_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("ok");
    QTest::newRow("models") << QStringList{"--model", "SOLAN318"} << true;
    QTest::newRow("unknown model") << QStringList{"--model", "KX9"} << false;
    QTest::newRow("fault with direction") << QStringList{"--drop", "0.25:out", "--corrupt=0.1:in"} << true;
    QTest::newRow("fault rate above 1") << QStringList{"--drop", "1.5"} << false;
    QTest::newRow("bad direction") << QStringList{"--duplicate", "0.1:both"} << false;
    QTest::newRow("missing value") << QStringList{"--baud"} << false;
    QTest::newRow("unknown option") << QStringList{"--fast"} << false;
}

void TestSimParts::optionParsing()
{
    QFETCH(QStringList, args);
    QFETCH(bool, ok);
    std::vector<QByteArray> storage{"morvabox-sim"};
    for (const QString &a : args)
        storage.push_back(a.toUtf8());
    std::vector<char *> argv;
    for (QByteArray &s : storage)
        argv.push_back(s.data());
    Options o;
    std::string error;
    QCOMPARE(parseOptions(int(argv.size()), argv.data(), o, &error), ok);
    QCOMPARE(error.empty(), ok);
    QCOMPARE(unescape("K\\0X\\r\\x41"), std::string("K\0X\rA", 5));
}

QTEST_GUILESS_MAIN(TestSimParts)
#include "test_sim_parts.moc"
