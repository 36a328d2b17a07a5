#pragma once
// The flash-loader images, the loader record and the model table.

#include "boot/box_info.h"

#include <QByteArray>
#include <QString>
#include <cstdint>

// The four box programs carried as data: three flash-loaders and the KX4020
// second-stage boot loader. Sent byte for byte, never parsed.
enum class LoaderImage { A, B, C, D };
QByteArray loaderImage(LoaderImage which);

// Image dialog filters, in Qt's syntax.
extern const char *const kFilterFlashImages;   // KX210, KX23xx, SOLAN 318, KX4000
extern const char *const kFilterNandImages;    // KX4020
extern const char *const kFilterBeforeRecognition;

struct LoaderRecord {
    enum { UPLOAD_BUFFER_SIZE = 655364 };     // a loader of 640 KiB plus its check value
    uint8_t upload[UPLOAD_BUFFER_SIZE];
    int32_t length;                           // loader bytes, without the check value
    uint32_t check;                           // CRC-32 register of the loader bytes
    BoxInfo info;
    int32_t promptSettleMs;                   // pause after the boot code's upload prompt
    // Filter of Dl_Open1 and DL_Save1. A property of the dialogs, not of the
    // loader: Disconnect leaves it as the last recognition set it.
    QString openFilter = QString::fromLatin1(kFilterBeforeRecognition);
};

// Fills the record for one of the five model names: loader bytes, check value
// (most significant byte first, right behind them), BoxInfo and the filters.
// Returns false for a name that is not in the model table (the record is unchanged).
bool GetLoader(LoaderRecord *rec, const QString &modelName);
// Check value of the `length` loader bytes in `buffer` (CRC-32 register in
// 32768-byte chunks, no final inversion), written right behind them, most
// significant byte first. Returns it.
uint32_t appendCheckValue(uint8_t *buffer, int32_t length);
// The 8 bytes that announce an upload of `uploadLength` bytes (loader plus
// check value) to the box's boot code: "G4", then the length as a 48-bit
// big-endian number.
QByteArray uploadHeader(int32_t uploadLength);
// Zero-fills the loader bytes, length, check value and BoxInfo (Disconnect).
void clearLoader(LoaderRecord *rec);
