// The 4x4 blocks of DXT1, DXT3 and DXT5 one at a time: the block decoder, and the fine block encoder (stb_dxt's
// high-quality fit, with libsquish for the DXT1 blocks that hold clear pixels). FTextureCoding.h is the way in
// for everything else; this is what it calls.
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

// Encodes Width x Height RGBA pixels (both multiples of 4) into the blocks of DXT1, DXT3 or DXT5 (Format) at
// Blocks. A DXT1 block with a clear pixel (alpha below 128) goes to libsquish's range fit, which codes it in the
// three-colour mode with those pixels transparent (its cluster fit takes twice the time for nothing measurable); every other colour block is stb_dxt's high-quality fit, in the four-colour
// mode (first endpoint above the second) that DXT3 and DXT5 decoders assume. DXT3 keeps 4 bits of alpha per
// pixel, rounded to nearest as libsquish rounds them; DXT5's alpha is stb_dxt's.
void EncodeFineBlocks(int32_t Width, int32_t Height, const uint8_t* Rgba, FPixelFormat Format, uint8_t* Blocks);
