// GetLoader: the model table, the loader images and the check value.

#include "boot/loader.h"

#include "link/crc32.h"

#include <cstring>

extern const unsigned char kLoaderA[], kLoaderB[], kLoaderC[], kLoaderD[];
extern const std::size_t kLoaderA_size, kLoaderB_size, kLoaderC_size, kLoaderD_size;

const char *const kFilterFlashImages = "Morvabox Flash Images (*.bin *.img)";
const char *const kFilterNandImages = "Morvabox NAND Flash Images (*.nfi)";
const char *const kFilterBeforeRecognition = "Morvabox Images (*.img);;Morvabox NAND-Images (*.nfi)";

QByteArray loaderImage(LoaderImage which)
{
    struct Span { const unsigned char *data; std::size_t size; };
    static const Span images[] = {
        {kLoaderA, kLoaderA_size}, {kLoaderB, kLoaderB_size},
        {kLoaderC, kLoaderC_size}, {kLoaderD, kLoaderD_size},
    };
    const Span &s = images[int(which)];
    return QByteArray::fromRawData(reinterpret_cast<const char *>(s.data), qsizetype(s.size));
}

namespace {

constexpr int32_t YES = -1, NO = 0;

struct ModelRow {
    const char *name;
    LoaderImage image;
    const char *const *filter;
    int32_t promptSettleMs;
    BoxInfo info;
};

// One row per model name. Columns of BoxInfo: HASLOCKBITS, CANERASE,
// VERIFYFLASH, CANBACKUP, HAS2NDSTAGE, RAMBUFFER, COPYPROGRESSMAX, FLASHBASE,
// FLASHOSSIZE, FLASHSIZE, BLOCKSIZE.
constexpr BoxInfo NOR_BOX = {YES, YES, YES, YES, NO, 0x800000, 100,
                             0x7F800000, 0x7C0000, 0x800000, 0x20000};
constexpr BoxInfo NAND_BOX = {NO, NO, NO, NO, YES, 0x800000, 0x2000000,
                              0x7F800000, 0x2000000, 0x800000, 0x20000};

// The boot code needs 1500 ms after its upload prompt before it takes the
// loader; the KX4000's needs twice that.
constexpr int32_t SETTLE = 1500, SLOW_SETTLE = 3000;

const ModelRow kModels[] = {
    {"KX210", LoaderImage::A, &kFilterFlashImages, SETTLE, NOR_BOX},
    {"KX23xx", LoaderImage::A, &kFilterFlashImages, SETTLE, NOR_BOX},
    {"SOLAN 318", LoaderImage::A, &kFilterFlashImages, SETTLE, NOR_BOX},
    {"KX4000", LoaderImage::B, &kFilterFlashImages, SLOW_SETTLE, NOR_BOX},
    {"KX4020", LoaderImage::C, &kFilterNandImages, SETTLE, NAND_BOX},
};

} // namespace

bool GetLoader(LoaderRecord *rec, const QString &modelName)
{
    for (const ModelRow &row : kModels) {
        if (modelName != QLatin1String(row.name))
            continue;
        const QByteArray image = loaderImage(row.image);
        std::memcpy(rec->upload, image.constData(), size_t(image.size()));
        rec->length = int32_t(image.size());
        rec->info = row.info;
        rec->promptSettleMs = row.promptSettleMs;
        rec->openFilter = QString::fromLatin1(*row.filter);
        rec->check = appendCheckValue(rec->upload, rec->length);
        return true;
    }
    return false;
}

uint32_t appendCheckValue(uint8_t *buffer, int32_t length)
{
    const uint32_t check = crc32Of(buffer, size_t(length));
    for (int i = 0; i < 4; ++i)
        buffer[length + i] = uint8_t(check >> (24 - 8 * i));
    return check;
}

QByteArray uploadHeader(int32_t uploadLength)
{
    const char header[8] = {'G', '4', 0, 0, 0, char(uploadLength >> 16), char(uploadLength >> 8), char(uploadLength)};
    return QByteArray(header, sizeof header);
}

void clearLoader(LoaderRecord *rec)
{
    std::memset(rec->upload, 0, sizeof rec->upload);
    rec->length = 0;
    rec->check = 0;
    rec->info = BoxInfo{};
    rec->promptSettleMs = 0;
}
