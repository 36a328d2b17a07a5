#pragma once
// The five box models: what the boot ROM prints, which loader it accepts and
// how its flash behaves. Every model difference lives in this one table.

#include <cstdint>
#include <string>
#include <string_view>

namespace sim {

enum class FlashKind { Nor, Nand };
// What the position of a progress frame counts: percent of the range, or bytes done.
enum class ProgressUnit { Percent, Bytes };

struct ModelSpec {
    const char *name;          // as given to --model
    std::string_view banner;   // the pattern the PC looks for, NUL byte included
    const char *bootText;      // what the ROM prints before the banner
    uint32_t loaderSize;       // loader bytes without the 4-byte check value
    FlashKind flashKind;
    uint32_t flashSize;        // bytes at kFlashBase
    ProgressUnit progress;
};

constexpr uint32_t kFlashBase = 0x7F800000u;
constexpr uint32_t kBlockSize = 0x20000u;      // 128 KiB erase/lock block
constexpr uint32_t kRamBase = 0;
constexpr uint32_t kRamSize = 0x2800000u;      // room for a 32 MiB image staged at 0x800000

const ModelSpec *findModel(std::string_view name);
const ModelSpec &defaultModel();
std::string modelNames();   // "KX210|KX23xx|..." for --help

} // namespace sim
