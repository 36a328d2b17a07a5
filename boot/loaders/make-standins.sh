#!/usr/bin/env bash
# Writes stand-ins for the four box programs the tool carries, at exactly the
# lengths the model table needs. The box maker's images are not in this
# repository; the stand-ins have the same headers and sizes so the build, the
# upload and the simulator can run. Deterministic: the same bytes every run.
#
#   a.bin  43040 bytes  loader for KX210 / KX23xx / SOLAN 318 (32-byte header + code)
#   b.bin  65568 bytes  loader for KX4000 (same layout)
#   c.elf 103128 bytes  loader for KX4020 (ELF32 big-endian PowerPC, entry 0x500000)
#   d.bin  86624 bytes  KX4020 second-stage boot loader (32-byte header + gzip stream)
set -euo pipefail
cd "$(dirname "$0")"
export LC_ALL=C

LOAD_ADDR=$((0x500000))     # where the box runs the loader (header word 2 and 5, ELF entry)

# Big-endian 32-bit and 16-bit words, little-endian 16-bit (deflate LEN/NLEN).
be32() { printf "\\$(printf %03o $(( ($1 >> 24) & 255 )))\\$(printf %03o $(( ($1 >> 16) & 255 )))\\$(printf %03o $(( ($1 >> 8) & 255 )))\\$(printf %03o $(( $1 & 255 )))"; }
be16() { printf "\\$(printf %03o $(( ($1 >> 8) & 255 )))\\$(printf %03o $(( $1 & 255 )))"; }
le16() { printf "\\$(printf %03o $(( $1 & 255 )))\\$(printf %03o $(( ($1 >> 8) & 255 )))"; }

# Stand-in machine code: `count` bytes of PowerPC "nop" (60 00 00 00) whose last
# word is "b ." (48 00 00 00), a loop on the spot.
code() {
    local words=$(( $1 / 4 ))
    head -c $(( (words - 1) * 4 )) /dev/zero |
        od -An -v -tx1 -w4 | sed 's/.*/60 00 00 00/' | xxd -r -p
    printf '\110\000\000\000'
}

# 32-byte header of the A and B loaders: 00 52 50 4F, load address, code
# length, 0, load address, then zeros.
loader_header() {
    printf '\000\122\120\117'
    be32 $LOAD_ADDR; be32 $(( $1 - 32 )); be32 0; be32 $LOAD_ADDR
    be32 0; be32 0; be32 0
}

make_loader() {   # file length
    { loader_header "$2"; code $(( $2 - 32 )); } > "$1"
}

make_elf() {      # file length
    local len=$2 seg_off=256
    {
        # ELF header (52 bytes): 32-bit, big-endian, version 1, System V.
        printf '\177ELF\001\002\001\000\000\000\000\000\000\000\000\000'
        be16 2                  # e_type: executable
        be16 20                 # e_machine: PowerPC
        be32 1                  # e_version
        be32 $LOAD_ADDR         # e_entry
        be32 52                 # e_phoff
        be32 0                  # e_shoff: no section headers
        be32 0                  # e_flags
        be16 52; be16 32; be16 1        # e_ehsize, e_phentsize, e_phnum
        be16 40; be16 0; be16 0         # e_shentsize, e_shnum, e_shstrndx
        # One loadable, readable and executable segment at the load address.
        be32 1; be32 $seg_off; be32 $LOAD_ADDR; be32 $LOAD_ADDR
        be32 $(( len - seg_off )); be32 $(( len - seg_off )); be32 5; be32 256
        head -c $(( seg_off - 84 )) /dev/zero
        code $(( len - seg_off ))
    } > "$1"
}

# The second stage: a 32-byte header whose seventh word is the length of the
# gzip stream behind it, then that stream. The stream is built from stored
# deflate blocks so its length is exact and does not depend on the gzip
# version; its CRC-32 and size trailer is taken from gzip itself.
make_second_stage() {   # file length
    local len=$2 stream=$(( $2 - 32 )) block=65535
    local blocks=$(( (stream - 18 + block + 4) / (block + 5) ))
    local payload=$(( stream - 18 - 5 * blocks ))
    local tmp; tmp=$(mktemp)
    code "$payload" > "$tmp"
    {
        be32 0; be32 0; be32 0; be32 0; be32 0; be32 0; be32 "$stream"; be32 0
        printf '\037\213\010\000\000\000\000\000\000\003'   # gzip header, no name, no time
        local off=0 n last
        while [ "$off" -lt "$payload" ]; do
            n=$(( payload - off < block ? payload - off : block ))
            last=$(( off + n == payload ? 1 : 0 ))
            printf "\\$(printf %03o $last)"; le16 "$n"; le16 $(( n ^ 0xFFFF ))
            tail -c +$(( off + 1 )) "$tmp" | head -c "$n"
            off=$(( off + n ))
        done
        gzip -n -c "$tmp" | tail -c 8
    } > "$1"
    rm -f "$tmp"
}

make_loader a.bin 43040
make_loader b.bin 65568
make_elf c.elf 103128
make_second_stage d.bin 86624

for f in a.bin:43040 b.bin:65568 c.elf:103128 d.bin:86624; do
    size=$(stat -c %s "${f%%:*}")
    [ "$size" -eq "${f##*:}" ] || { echo "${f%%:*}: $size bytes, expected ${f##*:}" >&2; exit 1; }
done
