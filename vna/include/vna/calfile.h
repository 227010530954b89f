// Calibration files: a 32-byte header ("CANV", version 2, start, stop, points) and the
// five standards as points × (re, im) floats each, all little-endian; 32 + 40 × N bytes.
//
// Saving writes a temporary file beside the target and renames it over the target only
// when every byte was written, so a failed save leaves the previous file as it was.
// Loading reads and checks the whole file before it changes anything: only a regular
// file is read, and one whose values are not finite, or give error terms that are not,
// is refused as invalid.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

struct CAL_HEADER {
    uint32_t magic;
    uint32_t version;
    uint64_t start;
    uint64_t stop;
    uint16_t points;
    uint16_t reserved;
};

inline constexpr uint32_t CAL_MAGIC = 0x564E4143;  // "CANV" read little-endian
inline constexpr uint32_t CAL_VERSION = 2;
inline constexpr size_t CAL_HEADER_BYTES = 32;

inline constexpr size_t cal_file_size(unsigned points) { return CAL_HEADER_BYTES + 40u * points; }

// The file that the save and load commands use; "vna.cal" at start. Written by the poster
// before it posts command 9 or 10.
extern char vna_cal_file[128];

// The system's error number behind the last save or load failure, 0 when it had none
// (a bad file, no calibration). Stored before the status text is set.
extern std::atomic<int> vna_cal_errno;

// Ends s at its first blank, if it has one.
void remblank(char* s);

// Sets vna_cal_file from a name typed in the file dialog: cut at the first blank, and for
// saving ".cal" added unless the name contains ".cal" anywhere.
void vna_set_cal_file(const char* typed, bool for_save);

// The save and load commands (9 and 10) as the device command task runs them: state,
// messages and results as the task reports them. 1 on success, 0 on failure.
int vna_save_calibration();
int vna_load_calibration();
