// The 4x4 blocks of DXT1, DXT3 and DXT5 one at a time: the block decoder. FTextureCoding.h is the way in for
// everything else; this is what it calls.
//
// Every routine here works only on what it is given and on the caller's output: calls on different images may
// run on any threads at once. Nothing blocks beyond the computation itself; nothing is kept between calls.
#pragma once

#include <cstdint>

#include "shrinker/FTextureCoding.h"

// Decodes the blocks of a Width x Height level of DXT1, DXT3 or DXT5 (Format) into Dest, Width * Height * 4 bytes
// of RGBA: exactly the bytes of libsquish's DecompressImage. Partial blocks at the right and bottom edges are
// read whole and written only inside the level. The caller has checked that Blocks holds the level.
void DecodeBlocks(int32_t Width, int32_t Height, const uint8_t* Blocks, FPixelFormat Format, uint8_t* Dest);
