// The program's compiled-in images in the stored image format (see gfx/image.h), and
// allicone, their table. Each image has a companion word NAME_ICO_ram whose address the
// page declarations hand to the bitmap object showing it.
#pragma once

#include <cstddef>
#include <cstdint>

// Chart, pictures and decorations (15-bit colour runs).
extern const uint8_t SMITHBLACK400_ICO[];  // 400 x 400 Smith chart, unit circle at (198, 197), radius 191
extern const uint8_t RLC1_ICO[];           // 360 x 120: resistor, inductor, capacitor cells of 120 x 120
extern const uint8_t RLC_BRIDGE_ICO[];     // 300 x 261 bridge fixture
extern const uint8_t PANELS_ICO[];         // 54 x 56
extern const uint8_t CCC_ICO[];            // 122 x 76 SMD probe
extern const uint8_t AAAA_ICO[];           // 324 x 225 SMD test fixture
extern const uint8_t BC1_ICO[];            // 76 x 21 dialog button
// Icons (palette indices, index 4 transparent).
extern const uint8_t ICON1_ICO[];  // 29 x 28 open folder
extern const uint8_t BDIR_ICO[];   // 19 x 19 file-type icons
extern const uint8_t BFILE_ICO[];
extern const uint8_t BATCH_ICO[];
extern const uint8_t BMP_ICO[];
extern const uint8_t COM_ICO[];
extern const uint8_t DOC_ICO[];
extern const uint8_t EXE_ICO[];
extern const uint8_t TXT_ICO[];

extern uint32_t SMITHBLACK400_ICO_ram, RLC1_ICO_ram, RLC_BRIDGE_ICO_ram, PANELS_ICO_ram, CCC_ICO_ram,
    AAAA_ICO_ram, BC1_ICO_ram, ICON1_ICO_ram, BDIR_ICO_ram, BFILE_ICO_ram, BATCH_ICO_ram, BMP_ICO_ram,
    COM_ICO_ram, DOC_ICO_ram, EXE_ICO_ram, TXT_ICO_ram;

// One entry per image: its name without _ICO, data and size in bytes, coding and size.
struct ASSET_IMAGE {
    const char* name;
    const uint8_t* data;
    size_t bytes;
    int coding;
    int width;
    int height;
};
extern const ASSET_IMAGE allicone[];
extern const int allicone_count;
