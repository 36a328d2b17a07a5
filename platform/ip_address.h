#pragma once
// IPv4 address texts.

#include <QString>
#include <cstdint>

// True when `text` is exactly four decimal numbers from 0 to 255 joined by
// dots; the octets go to `out` when given.
bool parseDottedQuad(const QString &text, uint8_t out[4] = nullptr);
