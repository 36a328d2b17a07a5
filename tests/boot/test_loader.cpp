// The model table, the loader images and their check value, the upload header.
#include "boot/loader.h"
#include "link/crc32.h"

#include <QtTest>
#include <zlib.h>

#include <memory>

Q_DECLARE_METATYPE(LoaderImage)

class TestLoader : public QObject {
    Q_OBJECT
private slots:
    void getLoader_data();
    void getLoader();
    void unknownModelLeavesRecord();
    void clearLoaderZeroes();
    void checkValue_data();
    void checkValue();
    void uploadHeader_data();
    void uploadHeader();
    void imageHeaders_data();
    void imageHeaders();
};

static QByteArray be32(uint32_t v)
{
    const char b[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    return QByteArray(b, 4);
}

void TestLoader::getLoader_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<LoaderImage>("image");
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QList<int>>("info");   // the eleven BoxInfo fields in order
    QTest::addColumn<int>("settleMs");       // pause after the upload prompt
    const QList<int> nor = {-1, -1, -1, -1, 0, 0x800000, 100, 0x7F800000, 0x7C0000, 0x800000, 0x20000};
    const QList<int> nand = {0, 0, 0, 0, -1, 0x800000, 0x2000000, 0x7F800000, 0x2000000, 0x800000, 0x20000};
    const QString flash = QStringLiteral("Morvabox Flash Images (*.bin *.img)");
    QTest::newRow("KX210") << "KX210" << LoaderImage::A << 43040 << flash << nor << 1500;
    QTest::newRow("KX23xx") << "KX23xx" << LoaderImage::A << 43040 << flash << nor << 1500;
    QTest::newRow("SOLAN 318") << "SOLAN 318" << LoaderImage::A << 43040 << flash << nor << 1500;
    QTest::newRow("KX4000") << "KX4000" << LoaderImage::B << 65568 << flash << nor << 3000;
    QTest::newRow("KX4020") << "KX4020" << LoaderImage::C << 103128 << QStringLiteral("Morvabox NAND Flash Images (*.nfi)") << nand << 1500;
}

void TestLoader::getLoader()
{
    QFETCH(QString, model);
    QFETCH(LoaderImage, image);
    QFETCH(int, length);
    QFETCH(QString, filter);
    QFETCH(QList<int>, info);
    QFETCH(int, settleMs);

    auto rec = std::make_unique<LoaderRecord>();
    clearLoader(rec.get());
    QCOMPARE(rec->openFilter, QStringLiteral("Morvabox Images (*.img);;Morvabox NAND-Images (*.nfi)"));
    QVERIFY(GetLoader(rec.get(), model));

    QCOMPARE(rec->length, length);
    const QByteArray bytes = loaderImage(image);
    QCOMPARE(bytes.size(), length);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(rec->upload), length), bytes);
    // The check value is the complement of the standard CRC-32, sent MSB first.
    const uint32_t standard = uint32_t(crc32(0, reinterpret_cast<const Bytef *>(bytes.constData()), uInt(length)));
    QCOMPARE(rec->check, ~standard);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(rec->upload) + length, 4), be32(~standard));
    QCOMPARE(rec->openFilter, filter);
    QCOMPARE(rec->promptSettleMs, settleMs);

    const int32_t *fields = &rec->info.KX_HASLOCKBITS;
    QCOMPARE(int(sizeof(BoxInfo) / sizeof(int32_t)), info.size());
    for (int i = 0; i < info.size(); ++i)
        QCOMPARE(fields[i], int32_t(info[i]));
}

void TestLoader::unknownModelLeavesRecord()
{
    auto rec = std::make_unique<LoaderRecord>();
    clearLoader(rec.get());
    QVERIFY(!GetLoader(rec.get(), QStringLiteral("KX999")));
    QCOMPARE(rec->length, 0);
    QCOMPARE(rec->info.KX_FLASHSIZE, 0);
}

void TestLoader::clearLoaderZeroes()
{
    auto rec = std::make_unique<LoaderRecord>();
    QVERIFY(GetLoader(rec.get(), QStringLiteral("KX4020")));
    clearLoader(rec.get());
    QCOMPARE(rec->length, 0);
    QCOMPARE(rec->check, 0u);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(&rec->info), sizeof(BoxInfo)), QByteArray(sizeof(BoxInfo), '\0'));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(rec->upload), 103132), QByteArray(103132, '\0'));
    // The dialogs keep the filter of the last recognition.
    QCOMPARE(rec->openFilter, QStringLiteral("Morvabox NAND Flash Images (*.nfi)"));
}

void TestLoader::checkValue_data()
{
    QTest::addColumn<QByteArray>("loader");
    QTest::addColumn<QByteArray>("appended");
    QTest::newRow("abc") << QByteArray("abc") << QByteArray::fromHex("CADBBE3D");
    // A register whose top byte is 0 still goes out as four bytes.
    for (uint32_t n = 0;; ++n) {
        const QByteArray data = be32(n);
        const uint32_t reg = crc32Of(reinterpret_cast<const uint8_t *>(data.constData()), 4);
        if (reg >> 24 == 0) {
            QTest::newRow("top byte 0") << data << be32(reg);
            break;
        }
    }
}

void TestLoader::checkValue()
{
    QFETCH(QByteArray, loader);
    QFETCH(QByteArray, appended);
    QByteArray buffer = loader + QByteArray(4, '\x55');
    const uint32_t check = appendCheckValue(reinterpret_cast<uint8_t *>(buffer.data()), int32_t(loader.size()));
    QCOMPARE(buffer.right(4), appended);
    QCOMPARE(be32(check), appended);
}

void TestLoader::uploadHeader_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<QByteArray>("header");
    QTest::newRow("KX4020 loader") << 103132 << QByteArray::fromHex("47340000000192DC");
    QTest::newRow("KX210 loader") << 43044 << QByteArray::fromHex("473400000000A824");
}

void TestLoader::uploadHeader()
{
    QFETCH(int, length);
    QFETCH(QByteArray, header);
    QCOMPARE(::uploadHeader(length), header);
}

void TestLoader::imageHeaders_data()
{
    QTest::addColumn<LoaderImage>("image");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("offset");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("A magic") << LoaderImage::A << 43040 << 0 << QByteArray::fromHex("0052504F00500000");
    QTest::newRow("A run address") << LoaderImage::A << 43040 << 16 << QByteArray::fromHex("00500000");
    QTest::newRow("B magic") << LoaderImage::B << 65568 << 0 << QByteArray::fromHex("0052504F00500000");
    QTest::newRow("B run address") << LoaderImage::B << 65568 << 16 << QByteArray::fromHex("00500000");
    // ELF32, big-endian; executable for PowerPC (20); entry 0x500000.
    QTest::newRow("C ident") << LoaderImage::C << 103128 << 0 << QByteArray::fromHex("7F454C460102");
    QTest::newRow("C machine") << LoaderImage::C << 103128 << 16 << QByteArray::fromHex("0002001400000001");
    QTest::newRow("C entry") << LoaderImage::C << 103128 << 24 << QByteArray::fromHex("00500000");
    // Second stage: seventh header word = gzip stream length, then the stream.
    QTest::newRow("D stream length") << LoaderImage::D << 86624 << 24 << QByteArray::fromHex("00015240");
    QTest::newRow("D gzip magic") << LoaderImage::D << 86624 << 32 << QByteArray::fromHex("1F8B08");
}

void TestLoader::imageHeaders()
{
    QFETCH(LoaderImage, image);
    QFETCH(int, length);
    QFETCH(int, offset);
    QFETCH(QByteArray, bytes);
    const QByteArray data = loaderImage(image);
    QCOMPARE(data.size(), length);
    QCOMPARE(data.mid(offset, bytes.size()), bytes);
}

QTEST_GUILESS_MAIN(TestLoader)
#include "test_loader.moc"
