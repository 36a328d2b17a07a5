#pragma once
// What the recognised box model can do and how its flash is laid out.
// Flags are -1 (yes) or 0 (no); readers test for non-zero. All zero until a
// model is recognised, and again after Disconnect.

#include <cstdint>

struct BoxInfo {
    int32_t KX_HASLOCKBITS;
    int32_t KX_CANERASE;
    int32_t KX_VERIFYFLASH;
    int32_t KX_CANBACKUP;
    int32_t KX_HAS2NDSTAGE;
    int32_t KX_RAMBUFFER;
    int32_t KX_COPYPROGRESSMAX;
    int32_t KX_FLASHBASE;
    int32_t KX_FLASHOSSIZE;
    int32_t KX_FLASHSIZE;
    int32_t KX_BLOCKSIZE;
};
