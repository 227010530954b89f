// Renders the compiled-in bitmap fonts from installed typefaces into C++ sources.
//
//   font-generator OUTDIR
//
// writes OUTDIR/fixed.cpp (fonts 0 to 6), OUTDIR/proportional.cpp (fonts 7 to 27) and
// OUTDIR/unicode_NN.cpp (the Unicode fonts). Typefaces: the Schumacher "clean" 8 x 8 bitmap
// faces of xfonts-base for the 8-pixel fixed fonts; Liberation (fonts-liberation2) for the
// Arial, Courier and Times shapes; DejaVu (fonts-dejavu-core) for the rest and for
// what Liberation lacks. Outlines are rendered with FreeType's hinting: one-bit fonts in its
// monochrome mode, the Unicode fonts as anti-aliased coverage quantised to 16 levels.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

const char* const LIB2 = "/usr/share/fonts/truetype/liberation2/";
const char* const LIB1 = "/usr/share/fonts/truetype/liberation/";
const char* const DEJAVU = "/usr/share/fonts/truetype/dejavu/";
const char* const MISC = "/usr/share/fonts/X11/misc/";

FT_Library library;

[[noreturn]] void die(const std::string& what) {
    fprintf(stderr, "font-generator: %s\n", what.c_str());
    exit(1);
}

FT_Face open_face(const std::string& file) {
    std::vector<std::string> tries = {file};
    if (file.rfind(LIB2, 0) == 0) tries.push_back(LIB1 + file.substr(strlen(LIB2)));
    for (const std::string& path : tries) {
        FT_Face face;
        if (FT_New_Face(library, path.c_str(), 0, &face) == 0) return face;
    }
    die("cannot open " + file);
}

// One glyph in a cell of `rows` rows: pixel values 0/1 (mono) or 0..255 (coverage).
struct Cell {
    int width = 0;
    std::vector<uint8_t> px;
    uint8_t at(int x, int y) const { return px[size_t(y) * size_t(width) + size_t(x)]; }
};

// Faces tried in order for each code.
struct Faces {
    std::vector<FT_Face> list;
    FT_Face face_for(unsigned code) const {
        for (FT_Face f : list)
            if (FT_Get_Char_Index(f, code)) return f;
        return nullptr;
    }
    void set_pixels(int px) const {
        for (FT_Face f : list)
            if (FT_IS_SCALABLE(f) && FT_Set_Pixel_Sizes(f, 0, FT_UInt(px))) die("size");
    }
};

FT_GlyphSlot load(FT_Face face, unsigned code, bool mono) {
    FT_Int32 flags = FT_LOAD_RENDER | (mono ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_LIGHT);
    if (FT_Load_Char(face, code, flags)) die("cannot render code " + std::to_string(code));
    return face->glyph;
}

uint8_t bitmap_at(const FT_Bitmap& b, int i, int j) {
    const uint8_t* row = b.buffer + j * b.pitch;
    if (b.pixel_mode == FT_PIXEL_MODE_MONO) return (row[i >> 3] >> (7 - (i & 7))) & 1 ? 255 : 0;
    return row[i];
}

// Rows above and below the base line that the glyph of code needs.
void extent(const Faces& faces, unsigned code, bool mono, int* top, int* bottom) {
    FT_Face face = faces.face_for(code);
    if (!face) return;
    FT_GlyphSlot g = load(face, code, mono);
    if (g->bitmap.rows == 0) return;
    *top = std::max(*top, g->bitmap_top);
    *bottom = std::max(*bottom, int(g->bitmap.rows) - g->bitmap_top);
}

// The glyph of code with its base line at row `ascent` of a cell of `rows` rows. The cell is
// the glyph's advance wide: the hinted advance for one-bit glyphs, the unhinted one rounded
// for anti-aliased glyphs, so that texts measure as the typeface's metrics say. A faint
// anti-aliased edge one pixel beyond either side is cut off; ink further out widens the cell
// (and a glyph without advance, a combining mark, gets a cell as wide as its ink).
Cell render(const Faces& faces, unsigned code, bool mono, int rows, int ascent) {
    Cell c;
    FT_Face face = faces.face_for(code);
    if (!face) return c;
    FT_GlyphSlot g = load(face, code, mono);
    const int advance = mono || !FT_IS_SCALABLE(face) ? int((g->advance.x + 32) >> 6)
                                                      : int((g->linearHoriAdvance + 0x8000) >> 16);
    const int left = g->bitmap_left, bw = int(g->bitmap.width);
    const int slack = mono ? 0 : 1;
    const int shift = left < -slack ? -left : 0;
    c.width = advance + shift;
    if (bw && left + shift + bw > c.width + slack) c.width = left + shift + bw;
    c.px.assign(size_t(c.width) * size_t(rows), 0);
    for (int j = 0; j < int(g->bitmap.rows); j++) {
        const int y = ascent - g->bitmap_top + j;
        if (y < 0 || y >= rows) continue;
        for (int i = 0; i < bw; i++) {
            const int x = left + shift + i;
            if (x < 0 || x >= c.width) continue;
            uint8_t v = bitmap_at(g->bitmap, i, j);
            if (mono) v = v ? 1 : 0;
            c.px[size_t(y) * size_t(c.width) + size_t(x)] = v;
        }
    }
    return c;
}

// The largest pixel size whose glyphs for `codes` fit in `rows` rows; sets the base line so
// that the spare rows are shared above and below.
// The search starts at max_px (0: a few pixels above the row count); want_ascent, when not
// 0, places the base line there if the glyphs still fit.
int fit(const Faces& faces, int rows, const std::vector<unsigned>& codes, bool mono, int* ascent, int max_px = 0,
        int want_ascent = 0) {
    for (int px = max_px ? max_px : rows + 4; px >= 4; px--) {
        faces.set_pixels(px);
        int top = 0, bottom = 0;
        for (unsigned code : codes) extent(faces, code, mono, &top, &bottom);
        if (top + bottom <= rows) {
            *ascent = want_ascent ? std::clamp(want_ascent, top, rows - bottom) : top + (rows - top - bottom) / 2;
            return px;
        }
    }
    die("nothing fits in " + std::to_string(rows) + " rows");
}

std::vector<unsigned> range(unsigned a, unsigned b) {
    std::vector<unsigned> v;
    for (unsigned c = a; c <= b; c++) v.push_back(c);
    return v;
}

// Pads a cell to `width` columns, the ink centred.
Cell centred(const Cell& c, int rows, int width) {
    if (c.width >= width) return c;
    Cell out;
    out.width = width;
    out.px.assign(size_t(width) * size_t(rows), 0);
    int dx = (width - c.width) / 2;
    for (int y = 0; y < rows; y++)
        for (int x = 0; x < c.width; x++) out.px[size_t(y) * size_t(width) + size_t(x + dx)] = c.at(x, y);
    return out;
}

// ---- output -----------------------------------------------------------------------------

// Byte counts of every array written, for font_sizes.h.
std::vector<std::pair<std::string, size_t>> sizes;

struct Source {
    FILE* f;
    Source(const std::string& path, const char* what) {
        f = fopen(path.c_str(), "w");
        if (!f) die("cannot write " + path);
        fprintf(f, "// Written by the font generator (tools/fontgen.cpp); do not edit by hand.\n// %s\n", what);
    }
    ~Source() { fclose(f); }
    void array(const std::string& name, const std::vector<uint8_t>& bytes, const std::string& note) {
        fprintf(f, "\n// %s, %zu bytes\nconst uint8_t %s[%zu] = {", note.c_str(), bytes.size(), name.c_str(),
                bytes.size());
        for (size_t i = 0; i < bytes.size(); i++) fprintf(f, "%s%d,", i % 32 ? "" : "\n    ", bytes[i]);
        fprintf(f, "\n};\n");
        sizes.emplace_back(name, bytes.size());
    }
};

void write_sizes(const std::string& dir) {
    Source src(dir + "/font_sizes.h", "Sizes in bytes of the generated font arrays.");
    fprintf(src.f, "#pragma once\n\n#include <cstddef>\n\n");
    for (const auto& [name, bytes] : sizes) fprintf(src.f, "inline constexpr size_t %s_bytes = %zu;\n", name.c_str(), bytes);
}

// ---- fixed fonts ------------------------------------------------------------------------

constexpr unsigned FIXED_FIRST = 32, FIXED_LAST = 122;

// The glyph data of a fixed font of size s: s rows of s / 8 bytes per glyph, lowest bit
// leftmost.
std::vector<uint8_t> fixed_bytes(const std::vector<Cell>& cells, int s) {
    std::vector<uint8_t> out;
    for (const Cell& c0 : cells) {
        Cell c = centred(c0, s, s);
        int dx = c.width > s ? (c.width - s) / 2 : 0;  // too wide: keep the middle
        for (int y = 0; y < s; y++)
            for (int b = 0; b < s / 8; b++) {
                uint8_t byte = 0;
                for (int k = 0; k < 8; k++) {
                    int x = b * 8 + k + dx;
                    if (x < c.width && c.at(x, y)) byte |= uint8_t(1 << k);
                }
                out.push_back(byte);
            }
    }
    return out;
}

std::vector<Cell> bitmap_face_cells(const std::string& file, int s) {
    Faces faces{{open_face(file)}};
    FT_Face face = faces.list[0];
    if (face->num_fixed_sizes < 1 || FT_Select_Size(face, 0)) die(file + " has no bitmap strike");
    int ascent = int(face->size->metrics.ascender >> 6);
    std::vector<Cell> cells;
    for (unsigned code = FIXED_FIRST; code <= FIXED_LAST; code++) cells.push_back(render(faces, code, true, s, ascent));
    return cells;
}

std::vector<Cell> outline_cells(const std::vector<std::string>& files, int s) {
    Faces faces;
    for (const std::string& file : files) faces.list.push_back(open_face(file));
    int ascent = 0;
    fit(faces, s, range(FIXED_FIRST, FIXED_LAST), true, &ascent);
    std::vector<Cell> cells;
    for (unsigned code = FIXED_FIRST; code <= FIXED_LAST; code++) cells.push_back(render(faces, code, true, s, ascent));
    return cells;
}

// The drop button of the port selector shows "t" of font 3 as a down arrow.
Cell down_arrow() {
    const char* rows[8] = {"........", "...##...", "...##...", "...##...",
                           ".######.", "..####..", "...##...", "........"};
    Cell c;
    c.width = 8;
    for (const char* r : rows)
        for (int x = 0; x < 8; x++) c.px.push_back(r[x] == '#');
    return c;
}

void write_fixed(const std::string& dir) {
    Source src(dir + "/fixed.cpp", "Fixed fonts 0 to 6: square glyphs for codes 32 to 122.");
    fprintf(src.f,
            "//\n// v_off8 and v_tim8 are the 8 x 8 \"clean\" bitmap faces (clR8x8, clB8x8) of X11's\n"
            "// schumacher-misc fonts:\n"
            "//   Copyright 1989 Dale Schumacher, dal@syntel.mn.org\n"
            "//   Permission to use, copy, modify, and distribute this software and its\n"
            "//   documentation for any purpose and without fee is hereby granted, provided\n"
            "//   that the above copyright notice appear in all copies and that both that\n"
            "//   copyright notice and this permission notice appear in supporting\n"
            "//   documentation, and that the name of Dale Schumacher not be used in\n"
            "//   advertising or publicity pertaining to distribution of the software without\n"
            "//   specific, written prior permission.  Dale Schumacher makes no\n"
            "//   representations about the suitability of this software for any purpose.  It\n"
            "//   is provided \"as is\" without express or implied warranty.\n"
            "// The larger sizes are rendered from DejaVu Sans (v_off) and Liberation Serif (v_tim).\n"
            "#include \"assets/fonts.h\"\n");
    src.array("v_off8", fixed_bytes(bitmap_face_cells(std::string(MISC) + "clR8x8.pcf.gz", 8), 8), "8 x 8");
    std::vector<Cell> tim8 = bitmap_face_cells(std::string(MISC) + "clB8x8.pcf.gz", 8);
    tim8['t' - FIXED_FIRST] = down_arrow();
    src.array("v_tim8", fixed_bytes(tim8, 8), "8 x 8, \"t\" is a down arrow");
    const std::vector<std::string> sans = {std::string(DEJAVU) + "DejaVuSans.ttf"};
    const std::vector<std::string> serif = {std::string(LIB2) + "LiberationSerif-Regular.ttf"};
    src.array("v_off16", fixed_bytes(outline_cells(sans, 16), 16), "16 x 16");
    src.array("v_off24", fixed_bytes(outline_cells(sans, 24), 24), "24 x 24");
    src.array("v_tim16", fixed_bytes(outline_cells(serif, 16), 16), "16 x 16");
    src.array("v_tim24", fixed_bytes(outline_cells(serif, 24), 24), "24 x 24");
    src.array("v_tim32", fixed_bytes(outline_cells(serif, 32), 32), "32 x 32");
}

// ---- proportional fonts -----------------------------------------------------------------

// Pixel sizes are the point sizes of the names at 96 dots per inch (4/3 pixel a point),
// so that texts take about the room the pages were laid out for.
struct PropDesc {
    const char* name;
    const char* dir;
    const char* file;
    int height;
    int px;
    int ascent;  // 0: the spare rows shared above and below
};

const PropDesc PROPORTIONAL[] = {
    {"MS_Sans_Serif_8", DEJAVU, "DejaVuSans.ttf", 13, 10, 11},
    {"MS_Sans_Serif_10", DEJAVU, "DejaVuSans.ttf", 16, 12, 13},
    {"MS_Sans_Serif_12", DEJAVU, "DejaVuSans.ttf", 20, 15, 16},
    {"MS_Sans_Serif_14", DEJAVU, "DejaVuSans.ttf", 24, 18, 19},
    {"MS_Sans_Serif_18", DEJAVU, "DejaVuSans.ttf", 29, 22, 23},
    {"MS_Sans_Serif_24", DEJAVU, "DejaVuSans.ttf", 37, 29, 29},
    {"Arial_Black_8", DEJAVU, "DejaVuSans-Bold.ttf", 15, 11, 0},
    {"Arial_Black_10", DEJAVU, "DejaVuSans-Bold.ttf", 18, 13, 0},
    {"Arial_Black_12", DEJAVU, "DejaVuSans-Bold.ttf", 23, 16, 0},
    {"Arial_Black_14", DEJAVU, "DejaVuSans-Bold.ttf", 27, 19, 0},
    {"Arial_Black_18", DEJAVU, "DejaVuSans-Bold.ttf", 33, 24, 0},
    {"Arial_Black_24", DEJAVU, "DejaVuSans-Bold.ttf", 45, 32, 0},
    {"Courier_New_8_Bold", LIB2, "LiberationMono-Bold.ttf", 14, 11, 0},
    {"Courier_New_10_Bold", LIB2, "LiberationMono-Bold.ttf", 16, 13, 0},
    {"Courier_New_12_Bold", LIB2, "LiberationMono-Bold.ttf", 18, 16, 0},
    {"Courier_New_14_Bold", LIB2, "LiberationMono-Bold.ttf", 22, 19, 0},
    {"Courier_New_18_Bold", LIB2, "LiberationMono-Bold.ttf", 27, 24, 0},
    {"Courier_New_24_Bold", LIB2, "LiberationMono-Bold.ttf", 36, 32, 0},
    {"Clarendon_Extended_14_Bold", DEJAVU, "DejaVuSerif-Bold.ttf", 24, 19, 0},
    {"Clarendon_Extended_18_Bold", DEJAVU, "DejaVuSerif-Bold.ttf", 30, 24, 0},
    {"Clarendon_Extended_24_Bold", DEJAVU, "DejaVuSerif-Bold.ttf", 40, 32, 0},
};

// Digits share the widest digit's width, so that columns of figures line up.
int even_digits(std::vector<Cell>& cells, unsigned first, int rows) {
    int d = 0;
    for (unsigned c = '0'; c <= '9'; c++) d = std::max(d, cells[c - first].width);
    for (unsigned c = '0'; c <= '9'; c++) cells[c - first] = centred(cells[c - first], rows, d);
    return d;
}

std::vector<uint8_t> proportional_bytes(const PropDesc& desc) {
    Faces faces{{open_face(std::string(desc.dir) + desc.file)}};
    const int H = desc.height;
    int ascent = 0;
    fit(faces, H, range(32, 126), true, &ascent, desc.px, desc.ascent);
    std::vector<Cell> cells;
    for (unsigned code = 32; code < 128; code++) cells.push_back(render(faces, code, true, H, ascent));
    cells[127 - 32] = cells['?' - 32];  // DEL has no glyph
    int digit = even_digits(cells, 32, H);
    std::vector<uint8_t> out(292, 0);
    out[0] = uint8_t(ascent);
    out[1] = uint8_t(digit);
    out[3] = uint8_t(H);
    int widest = 0;
    for (int g = 0; g < 96; g++) {
        const Cell& c = cells[size_t(g)];
        if (c.width > 255) die(std::string(desc.name) + ": glyph too wide");
        widest = std::max(widest, c.width);
        out[size_t(4 + g)] = uint8_t(c.width);
        size_t offset = out.size();
        if (offset > 0xFFFF) die(std::string(desc.name) + ": more than 64 KiB");
        out[size_t(100 + 2 * g)] = uint8_t(offset);
        out[size_t(101 + 2 * g)] = uint8_t(offset >> 8);
        size_t n = size_t(c.width) * size_t(H);
        std::vector<uint8_t> bits((n + 7) / 8, 0);
        for (size_t i = 0; i < n; i++)
            if (c.px[i]) bits[i >> 3] |= uint8_t(1 << (i & 7));
        out.insert(out.end(), bits.begin(), bits.end());
    }
    out[2] = uint8_t(widest);
    return out;
}

void write_proportional(const std::string& dir) {
    Source src(dir + "/proportional.cpp",
               "Proportional fonts 7 to 27 (codes 32 to 127, one bit per pixel), rendered from DejaVu\n"
               "// Sans (MS_Sans_Serif_*), DejaVu Sans Bold (Arial_Black_*), Liberation Mono Bold\n"
               "// (Courier_New_*_Bold) and DejaVu Serif Bold (Clarendon_Extended_*_Bold).");
    fprintf(src.f, "#include \"assets/fonts.h\"\n");
    for (const PropDesc& desc : PROPORTIONAL)
        src.array(desc.name, proportional_bytes(desc), "cell height " + std::to_string(desc.height));
}

// ---- Unicode fonts ----------------------------------------------------------------------

struct UniDesc {
    const char* name;
    const char* file;
    int height;
    int px;
    bool bold;
};

const UniDesc UNICODE_FONTS[] = {
    {"T_Arial_Unicode_MS_10", "unicode_10.cpp", 18, 13, false},
    {"T_Arial_Unicode_MS_12", "unicode_12.cpp", 21, 16, false},
    {"T__Arial_Unicode_MS_14", "unicode_14.cpp", 25, 19, false},
    {"T_Arial_Unicode_MS_16", "unicode_16.cpp", 28, 21, false},
    {"T_Arial_Unicode_MS_18_Bold", "unicode_18_bold.cpp", 33, 24, true},
    {"T_Arial_Unicode_MS_28", "unicode_28.cpp", 50, 37, false},
};

constexpr size_t GLYPH_DATA_LIMIT = 256000;
constexpr size_t UNICODE_DATA = 8 + 4 * 2016;

// Code ranges in the order they are given room in the glyph data: when the next glyph does
// not fit, it and every later one show "?".
std::vector<unsigned> unicode_order() {
    std::vector<unsigned> order;
    auto add = [&](unsigned a, unsigned b) {
        for (unsigned c = a; c <= b; c++) order.push_back(c);
    };
    add(32, 126);      // ASCII
    add(160, 255);     // Latin-1
    add(256, 383);     // Latin Extended-A
    add(880, 1023);    // Greek
    add(1024, 1279);   // Cyrillic
    add(384, 591);     // Latin Extended-B
    add(1280, 1327);   // Cyrillic Supplement
    add(592, 767);     // IPA, spacing modifiers
    add(768, 879);     // combining marks
    add(1328, 2047);   // Armenian, Hebrew, Arabic and the rest up to 2047
    return order;
}

std::vector<uint8_t> unicode_bytes(const UniDesc& desc, int* shown, int* missing) {
    Faces faces;
    faces.list.push_back(open_face(std::string(LIB2) + (desc.bold ? "LiberationSans-Bold.ttf" : "LiberationSans-Regular.ttf")));
    faces.list.push_back(open_face(std::string(DEJAVU) + (desc.bold ? "DejaVuSans-Bold.ttf" : "DejaVuSans.ttf")));
    const int H = desc.height;
    int ascent = 0;
    std::vector<unsigned> fitting = range(32, 126);
    for (unsigned c = 0xC0; c <= 0xFF; c++) fitting.push_back(c);
    fit(faces, H, fitting, false, &ascent, desc.px);

    std::vector<Cell> cells(2016);
    std::vector<bool> have(2016, false);
    for (unsigned code = 32; code < 2048; code++) {
        if ((code >= 127 && code < 160) || !faces.face_for(code)) continue;
        cells[code - 32] = render(faces, code, false, H, ascent);
        have[code - 32] = true;
    }
    int digit = even_digits(cells, 32, H);

    std::vector<uint8_t> out(UNICODE_DATA, 0);
    out[0] = uint8_t(ascent);
    out[1] = uint8_t(digit);
    out[3] = uint8_t(H);
    out[4] = 0xFF;  // mask 0x0FFF: 4-bit coverage
    out[5] = 0x0F;
    out[6] = 15;    // num_lang
    out[7] = 1;     // glyphs beyond 127
    std::vector<uint32_t> entry(2016, 0);
    auto place = [&](unsigned g) {
        const Cell& c = cells[g];
        if (c.width > 255) die(std::string(desc.name) + ": glyph too wide");
        size_t n = size_t(c.width) * size_t(H);
        if (out.size() - UNICODE_DATA + (n + 1) / 2 > GLYPH_DATA_LIMIT) return false;
        entry[g] = uint32_t(c.width) << 24 | uint32_t(out.size());
        std::vector<uint8_t> nibbles((n + 1) / 2, 0);
        for (size_t i = 0; i < n; i++) {
            uint8_t a = uint8_t((c.px[i] * 15 + 127) / 255);
            nibbles[i >> 1] |= uint8_t(i & 1 ? a << 4 : a);
        }
        out.insert(out.end(), nibbles.begin(), nibbles.end());
        return true;
    };
    *shown = 0;
    bool room = true;
    for (unsigned code : unicode_order()) {
        unsigned g = code - 32;
        if (!have[g]) continue;
        if (room && place(g))
            ++*shown;
        else
            room = false;
        if (!room) have[g] = false;
    }
    int widest = 0;
    *missing = 0;
    for (unsigned g = 0; g < 2016; g++) {
        if (!have[g]) {
            entry[g] = entry['?' - 32];
            ++*missing;
        }
        widest = std::max(widest, int(entry[g] >> 24));
        for (int k = 0; k < 4; k++) out[8 + 4 * g + unsigned(k)] = uint8_t(entry[g] >> (8 * k));
    }
    out[2] = uint8_t(widest);
    return out;
}

void write_unicode(const std::string& dir) {
    for (const UniDesc& desc : UNICODE_FONTS) {
        int shown = 0, missing = 0;
        std::vector<uint8_t> bytes = unicode_bytes(desc, &shown, &missing);
        std::string what = std::string("Unicode font ") + desc.name + ": codes 32 to 2047, 4-bit coverage, rendered from\n// Liberation Sans" +
                           (desc.bold ? " Bold" : "") + " with DejaVu Sans" + (desc.bold ? " Bold" : "") +
                           " for the codes it lacks.";
        Source src(dir + "/" + desc.file, what.c_str());
        fprintf(src.f, "#include \"assets/fonts.h\"\n");
        src.array(desc.name, bytes,
                  "cell height " + std::to_string(desc.height) + ", " + std::to_string(shown) + " glyphs, " +
                      std::to_string(missing) + " codes show \"?\"");
        printf("%s: %d glyphs, %d codes show \"?\", %zu glyph data bytes\n", desc.name, shown, missing,
               bytes.size() - UNICODE_DATA);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: font-generator OUTDIR\n");
        return 2;
    }
    if (FT_Init_FreeType(&library)) die("FreeType");
    const std::string dir = argv[1];
    write_fixed(dir);
    write_proportional(dir);
    write_unicode(dir);
    write_sizes(dir);
    return 0;
}
