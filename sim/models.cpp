#include "models.h"

#include <array>

namespace sim {

using namespace std::string_view_literals;

static const std::array<ModelSpec, 5> kModels{{
    {"KX210", "Morvabox K\0X210"sv, "\r\nMorvabox boot ROM 2.10\r\nDRAM 32 MB ok\r\nNOR 8 MB\r\n",
     43040, FlashKind::Nor, 0x800000, ProgressUnit::Percent},
    {"KX23xx", "Morvabox K\0X23"sv, "\r\nMorvabox boot ROM 2.31\r\nDRAM 64 MB ok\r\nNOR 8 MB\r\n",
     43040, FlashKind::Nor, 0x800000, ProgressUnit::Percent},
    {"SOLAN318", "SOLAN\0 318"sv, "\r\nboot 1.07 (c) SOLAN\r\nmem ok\r\n",
     43040, FlashKind::Nor, 0x800000, ProgressUnit::Percent},
    {"KX4000", "Morvabox K\0X4000"sv, "\r\nMorvabox boot ROM 4.00\r\nDRAM 64 MB ok\r\nNOR 8 MB\r\n",
     65568, FlashKind::Nor, 0x800000, ProgressUnit::Percent},
    {"KX4020", "Morvabox K\0X4020"sv, "\r\nMorvabox boot ROM 4.20\r\nDRAM 128 MB ok\r\nNAND 32 MB\r\n",
     103128, FlashKind::Nand, 0x2000000, ProgressUnit::Bytes},
}};

const ModelSpec *findModel(std::string_view name)
{
    for (const auto &m : kModels)
        if (name == m.name)
            return &m;
    return nullptr;
}

const ModelSpec &defaultModel()
{
    return kModels[0];
}

std::string modelNames()
{
    std::string s;
    for (const auto &m : kModels)
        s += (s.empty() ? "" : "|") + std::string(m.name);
    return s;
}

} // namespace sim
