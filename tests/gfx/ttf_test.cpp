// TrueType text: the decision between bitmap and TrueType, UTF-8 decoding, the font cache
// with its failure and eviction paths, drawing and the fallback chain.
//
// Font tests run in a temporary start directory whose FONTS/ folder links "default.ttf" to
// DejaVu Sans and "notobd.ttf" to a Noto CJK bold face; they are skipped when those system
// fonts are not installed.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include "gfx/ttf.h"
#include "text_fonts.h"

namespace fs = std::filesystem;

namespace {

const char* const DEJAVU = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
const char* const NOTO_BOLD = "/usr/share/fonts/opentype/noto/NotoSansCJK-Bold.ttc";

void reset_ttf() {
    for (CachedFont& f : g_fonts) {
        free(f.ttf_data);
        f = CachedFont{};
    }
    ttf_forget_failures();
    DEFAULT[0] = DEFAULOLD[0] = 0;
    for (auto& d : DEFA) d[0] = 0;
    _fontn = _fontx = _fonty = 0;
    ttf_obj_level = nullptr;
}

int used_slots() {
    int n = 0;
    for (const CachedFont& f : g_fonts) n += f.used;
    return n;
}

// ---- deciding ---------------------------------------------------------------------------

struct Decision {
    int fontn, fonty;
    const char* defaulold;
    const char* text;
    int result, size;
};

TEST(TtfDecision, NeedsTtfFollowsFontAndScript) {
    const Decision cases[] = {
        {33, 0, "", "$LAMP.bmp \xE4\xB8\xAD", 0, 0},     // an image name, whatever follows
        {0, 2, "", "$x", 0, 0},                           // font_size is not computed for images
        {33, 0, "", "Gr\xC3\xBC\xC3\x9F" "e", 0, 0},     // Grüße: the Unicode font keeps it
        {33, 0, "", "\xE4\xB8\xAD\xE6\x96\x87", 5, 0},   // Chinese
        {0, 2, "", "Hello", 0, 20},                       // fixed fonts: ten times the height
        {6, 1, "", "Hello", 0, 40},
        {4, 3, "", "Gr\xC3\xBC\xC3\x9F" "e", 1, 60},     // non-ASCII in a fixed font
        {2, 1, "", "\xE4\xB8\xAD", 5, 30},                // CJK still sets the size
        {-16, 5, "", "Hello", 0, 0},                      // negative numbers: no size
        {9, 0, "", "Hello", 0, 0},
        {9, 0, "", "Gr\xC3\xBC\xC3\x9F" "e", 1, 0},
        {9, 0, "arial.ttf", "Hello", 3, 0},
        {24, 0, "arial.ttf", "Hello", 3, 0},
        {25, 0, "", "Gr\xC3\xBC\xC3\x9F" "e", 0, 0},     // fonts 25 to 27 keep Latin text
        {25, 0, "arial.ttf", "Hello", 0, 0},
        {25, 0, "", "\xD0\x9F\xD1\x80\xD0\xB8", 1, 0},   // Cyrillic
        {33, 0, "arial.ttf", "\xD0\x9F\xD1\x80\xD0\xB8", 0, 0},
        {12, 0, "", "\xE2\x82\xAC", 1, 0},               // euro sign: not Latin
    };
    for (const Decision& c : cases) {
        reset_ttf();
        _fontn = uint8_t(c.fontn);
        _fonty = uint8_t(c.fonty);
        snprintf(DEFAULOLD, sizeof DEFAULOLD, "%s", c.defaulold);
        font_size = -1;
        EXPECT_EQ(needs_ttf(c.text), c.result) << c.fontn << " " << c.text;
        EXPECT_EQ(font_size, c.size) << c.fontn << " " << c.text;
    }
    reset_ttf();
}

TEST(TtfDecision, CjkRangesAndInvalidBytes) {
    auto utf8 = [](uint32_t c) {
        std::string s;
        if (c < 0x800) {
            s += char(0xC0 | c >> 6);
        } else if (c < 0x10000) {
            s += char(0xE0 | c >> 12);
            s += char(0x80 | ((c >> 6) & 63));
        } else {
            s += char(0xF0 | c >> 18);
            s += char(0x80 | ((c >> 12) & 63));
            s += char(0x80 | ((c >> 6) & 63));
        }
        return s + char(0x80 | (c & 63));
    };
    const uint32_t inside[] = {0x4E00, 0x9FFF, 0x3400, 0x20000, 0x2CEAF, 0xF900, 0x2FA1F, 0x3040, 0x30FF,
                               0x31F0, 0xAC00, 0xD7AF, 0x0600, 0x06FF, 0x0590, 0x0E00, 0x097F, 0x1F300, 0x1FAFF};
    const uint32_t outside[] = {0x4DFF, 0x0400, 0x0700, 0x0E80, 0x2A6E0, 0x1FB00, 0x3100, 0xD7B0, 0x08FF};
    for (uint32_t c : inside) EXPECT_EQ(needs_cjk(("a" + utf8(c)).c_str()), 1) << std::hex << c;
    for (uint32_t c : outside) EXPECT_EQ(needs_cjk(("a" + utf8(c)).c_str()), 0) << std::hex << c;
    EXPECT_EQ(needs_cjk("\xFF\x80\xE4\xB8\xAD"), 1);  // invalid bytes skipped one at a time
    EXPECT_EQ(needs_cjk("$\xE4\xB8\xAD"), 0);
    EXPECT_EQ(needs_cjk("\xE4\xB8"), 0);             // truncated at the end
}

TEST(TtfDecision, LatinTextIsDecodedByLeadBytes) {
    EXPECT_EQ(string_is_ascii_or_latin("plain"), 1);
    EXPECT_EQ(string_is_ascii_or_latin("\xC9\x8F"), 1);  // U+024F
    EXPECT_EQ(string_is_ascii_or_latin("\xC9\x90"), 0);  // U+0250
    EXPECT_EQ(string_is_ascii_or_latin("\xC2\xA0"), 1);  // U+00A0
    EXPECT_EQ(string_is_ascii_or_latin("\xC2\x9F"), 0);  // U+009F, a C1 control
    EXPECT_EQ(string_is_ascii_or_latin("a\x80"), 0);     // a continuation byte as lead
    EXPECT_EQ(string_is_ascii_or_latin("\xF8\x80"), 0);  // 11111xxx
    // Continuation bytes are not checked, but the end of the text is.
    EXPECT_EQ(string_is_ascii_or_latin("\xC3(x"), 1);    // (0xC3 & 31) << 6 | ('(' & 63) = 232
    EXPECT_EQ(string_is_ascii_or_latin("ab\xE4"), 1);
}

TEST(TtfDecision, Utf8DecodeRejectsInvalidAndTruncatedSequences) {
    struct Case {
        const char* s;
        int n;
        uint32_t code;
    };
    const Case cases[] = {
        {"A", 1, 'A'},          {"\xC3\xA9", 2, 0xE9},        {"\xE4\xB8\xAD", 3, 0x4E2D},
        {"\xF0\x9F\x98\x80", 4, 0x1F600},                     {"\x80", 0, 0},
        {"\xBF", 0, 0},         {"\xC3", 0, 0},               {"\xE4\xB8", 0, 0},
        {"\xF0\x9F\x98", 0, 0}, {"\xC3" "A", 0, 0},           {"\xE4\x41\x80", 0, 0},
        {"\xF8\x88\x80\x80\x80", 0, 0},                       {"\xFF", 0, 0},
    };
    for (const Case& c : cases) {
        uint32_t code = 0xDEAD;
        EXPECT_EQ(utf8_decode(c.s, &code), c.n) << c.s;
        if (c.n) {
            EXPECT_EQ(code, c.code) << c.s;
        }
    }
}

// ---- font files ---------------------------------------------------------------------------

class TtfFiles : public Canvas {
protected:
    fs::path dir, cwd;
    void SetUp() override {
        Canvas::SetUp();
        if (!fs::exists(DEJAVU) || !fs::exists(NOTO_BOLD))
            GTEST_SKIP() << "needs fonts-dejavu-core and fonts-noto-cjk (" << DEJAVU << ", " << NOTO_BOLD << ")";
        reset_ttf();
        cwd = fs::current_path();
        dir = fs::path(CORVANE_BINARY_DIR) / ("ttf_test." + std::to_string(getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir / "FONTS");
        fs::create_symlink(DEJAVU, dir / "FONTS" / "default.ttf");
        fs::create_symlink(NOTO_BOLD, dir / "FONTS" / "notobd.ttf");
        fs::current_path(dir);
    }
    void TearDown() override {
        if (dir.empty()) return;
        fs::current_path(cwd);
        fs::remove_all(dir);
        reset_ttf();
    }
    void write(const char* name, const std::string& bytes) {
        FILE* f = fopen(name, "wb");
        ASSERT_NE(f, nullptr);
        fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
    }
    static std::string file_bytes(const char* path, size_t limit = SIZE_MAX) {
        size_t size = 0;
        unsigned char* data = load_ttf_file(path, &size);
        std::string s(reinterpret_cast<char*>(data), std::min(size, limit));
        free(data);
        return s;
    }
};

TEST_F(TtfFiles, CacheKeepsEachPathOnceAndReportsFailuresOnce) {
    CachedFont* a = get_font_for_path("FONTS/default.ttf");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, &g_fonts[0]);
    EXPECT_EQ(get_font_for_path("FONTS/default.ttf"), a);
    EXPECT_STREQ(a->path, "FONTS/default.ttf");
    // Missing, empty, garbage and truncated files: a message each, once, and no slot.
    write("empty.ttf", "");
    write("garbage.ttf", std::string(4096, 'x'));
    write("short.ttf", file_bytes(DEJAVU, 3000));
    write("header.ttf", file_bytes(DEJAVU, 11));
    const char* const files[] = {"missing.ttf", "empty.ttf", "FONTS", "garbage.ttf", "short.ttf", "header.ttf"};
    const char* const messages[] = {"Errore apertura TTF: missing.ttf\n", "Errore apertura TTF: empty.ttf\n",
                                    "Errore apertura TTF: FONTS\n",       "TTF non valido: garbage.ttf\n",
                                    "TTF non valido: short.ttf\n",        "TTF non valido: header.ttf\n"};
    for (int i = 0; i < 6; i++) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(get_font_for_path(files[i]), nullptr);
        EXPECT_EQ(get_font_for_path(files[i]), nullptr);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), messages[i]);
    }
    EXPECT_EQ(used_slots(), 1);
    EXPECT_EQ(g_fonts[1].ttf_data, nullptr);
    // Forgetting the failures reports them again.
    ttf_forget_failures();
    testing::internal::CaptureStderr();
    EXPECT_EQ(get_font_for_path("missing.ttf"), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), messages[0]);
}

TEST_F(TtfFiles, TheHundredAndFirstPathReusesSlotZero) {
    for (int i = 0; i <= TTF_CACHE_SLOTS; i++)
        fs::create_symlink(DEJAVU, "f" + std::to_string(i) + ".ttf");
    for (int i = 0; i < TTF_CACHE_SLOTS; i++)
        ASSERT_EQ(get_font_for_path(("f" + std::to_string(i) + ".ttf").c_str()), &g_fonts[i]);
    CachedFont* last = get_font_for_path("f100.ttf");
    EXPECT_EQ(last, &g_fonts[0]);
    EXPECT_STREQ(g_fonts[0].path, "f100.ttf");
    EXPECT_STREQ(g_fonts[1].path, "f1.ttf");
    EXPECT_EQ(used_slots(), TTF_CACHE_SLOTS);
    // The evicted path loads again, into slot 0 once more.
    EXPECT_EQ(get_font_for_path("f0.ttf"), &g_fonts[0]);
    EXPECT_EQ(get_font_for_path("f50.ttf"), &g_fonts[50]);
    // A failed load into the full cache leaves slot 0 free, and the next load takes it.
    testing::internal::CaptureStderr();
    EXPECT_EQ(get_font_for_path("none.ttf"), nullptr);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(g_fonts[0].used, 0);
    EXPECT_EQ(get_font_for_path("f7.ttf"), &g_fonts[7]);
    EXPECT_EQ(get_font_for_path("f100.ttf"), &g_fonts[0]);
}

TEST_F(TtfFiles, ShortNamesAreRefusedWithoutTouchingTheCache) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(draw_text_ttf_font(10, 10, "Hello", "a.tt", 20.f, 0xFFFFFF00), 0);
    EXPECT_EQ(draw_text_ttf_font(10, 10, "Hello", "", 20.f, 0xFFFFFF00), 0);
    EXPECT_EQ(draw_text_ttf_font(10, 10, "Hello", nullptr, 20.f, 0xFFFFFF00), 0);
    EXPECT_EQ(draw_text_ttf_font(10, 10, nullptr, "default.ttf", 20.f, 0xFFFFFF00), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(used_slots(), 0);
    EXPECT_TRUE(drawn().empty());
    int w = 5, h = 5;
    EXPECT_EQ(measure_text_ttf_font("Hello", "nofont.ttf", 20.f, &w, &h), 0);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);
}

TEST_F(TtfFiles, DrawingFindsFontsUnderFontsAndMatchesTheMeasure) {
    // The bare name is tried (and reported) once, then the file under ./FONTS/ is used.
    testing::internal::CaptureStderr();
    int w = 0, h = 0;
    const int measured = measure_text_ttf_font("Hello, world", "default.ttf", 20.f, &w, &h);
    const int advance = draw_text_ttf_font(30, 40, "Hello, world", "default.ttf", 20.f, 0xFFFFFF00);
    draw_text_ttf_font(30, 100, "Hello", "default.ttf", 20.f, 0xFFFFFF00);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Errore apertura TTF: default.ttf\n");
    EXPECT_GT(measured, 80);
    EXPECT_EQ(advance, measured);
    EXPECT_EQ(w, measured);
    EXPECT_EQ(h, 20);  // the pixel height spans ascent to descent
    // Ink stays within the line: from x to x + advance, from the top to the height.
    Box b = bounds(changed_pixels(before));
    EXPECT_GE(b.x0, 30);
    EXPECT_LE(b.x1, 30 + advance);
    EXPECT_GE(b.y0, 40);
    EXPECT_LE(b.y1, 100 + h);
    // Fully covered pixels have the colour exactly.
    bool solid = false;
    for (auto [x, y] : changed_pixels(before)) solid |= fb_at(x, y) == 0xFFFFFFu;
    EXPECT_TRUE(solid);
}

TEST_F(TtfFiles, FaintPixelsOverOtherColoursStay) {
    // White "O" on black: the red channel is each pixel's coverage.
    const int x = 100, y = 100;
    const int advance = draw_text_ttf_font(x, y, "O", "FONTS/default.ttf", 40.f, 0xFFFFFF00);
    ASSERT_GT(advance, 0);
    const auto plain = fb_snapshot();
    int m = 0;
    for (uint32_t p : plain) m = std::max<int>(m, int(p >> 16));
    const int threshold = 4 * std::max(m, 40) / 10;
    // Again over a blue column through the glyph's left side (away from the bottom-right
    // reference pixel).
    Box b = bounds(changed_pixels(before));
    const int col = b.x0 + 2;
    fb_fill_all(0);
    v_vline(col, 0, 300, 0x0000FF00);
    draw_text_ttf_font(x, y, "O", "FONTS/default.ttf", 40.f, 0xFFFFFF00);
    int faint = 0, strong = 0;
    for (int yy = b.y0; yy <= b.y1; yy++) {
        const int a = int(plain[size_t(yy) * size_t(crtx) + size_t(col)] >> 16);
        if (a == 0) {
            EXPECT_EQ(fb_at(col, yy), 0x0000FFu);
        } else if (a < threshold) {
            EXPECT_EQ(fb_at(col, yy), 0x0000FFu) << yy;  // faint: left as it was
            faint++;
        } else {
            EXPECT_EQ(fb_at(col, yy), uint32_t(a << 16 | a << 8 | 255)) << yy;  // blended over blue
            strong++;
        }
    }
    EXPECT_GT(faint, 0);
    EXPECT_GT(strong, 0);
}

TEST_F(TtfFiles, ChainFallsBackToDefaultThenToTheCjkFace) {
    auto pixels_of = [&](const std::function<int()>& draw, int* result) {
        fb_fill_all(0);
        *result = draw();
        return fb_snapshot();
    };
    int r1 = 0, r2 = 0;
    testing::internal::CaptureStderr();
    auto chained = pixels_of([] { return draw_text_ttf(10, 10, "Hello", "nothere.ttf", 18.f, 0xFFFF0000); }, &r1);
    auto direct = pixels_of([] { return draw_text_ttf_font(10, 10, "Hello", "default.ttf", 18.f, 0xFFFF0000); }, &r2);
    EXPECT_GT(r1, 0);
    EXPECT_EQ(r1, r2);
    EXPECT_EQ(chained, direct);
    // DEFAULT comes before default.ttf.
    snprintf(DEFAULT, sizeof DEFAULT, "%s", "notobd.ttf");
    chained = pixels_of([] { return draw_text_ttf(10, 10, "Hello", "", 18.f, 0xFFFF0000); }, &r1);
    direct = pixels_of([] { return draw_text_ttf_font(10, 10, "Hello", "notobd.ttf", 18.f, 0xFFFF0000); }, &r2);
    EXPECT_EQ(chained, direct);
    EXPECT_EQ(r1, r2);
    // Chinese skips the given name and DEFAULT, and DejaVu, which lacks the glyphs.
    DEFAULT[0] = 0;
    const char* chinese = "\xE4\xB8\xAD\xE6\x96\x87";
    chained = pixels_of([&] { return draw_text_ttf(10, 10, chinese, "default.ttf", 18.f, 0xFFFF0000); }, &r1);
    direct = pixels_of([&] { return draw_text_ttf_font(10, 10, chinese, "notobd.ttf", 18.f, 0xFFFF0000); }, &r2);
    EXPECT_GE(r1, 20);  // two ideographs of about 12 pixels
    EXPECT_EQ(chained, direct);
    testing::internal::GetCapturedStderr();
    // Measuring follows the same chain; an empty name goes straight to DEFAULT.
    int w = 0, h = 0, w2 = 0, h2 = 0;
    EXPECT_EQ(measure_text_ttf(chinese, "", 18.f, &w, &h), r1);
    EXPECT_EQ(measure_text_ttf("Hello", "", 18.f, &w, &h), measure_text_ttf_font("Hello", "default.ttf", 18.f, &w2, &h2));
    EXPECT_EQ(h, h2);
}

TEST_F(TtfFiles, NothingDrawsWithoutFontFiles) {
    fs::remove_all(dir / "FONTS");
    testing::internal::CaptureStderr();
    int w = 9, h = 9;
    EXPECT_EQ(draw_text_ttf(10, 10, "Hello", "x.ttf", 18.f, 0xFFFFFF00), 0);
    EXPECT_EQ(measure_text_ttf("Hello", "", 18.f, &w, &h), 0);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Errore apertura TTF: ./FONTS/notobd.ttf\n"), std::string::npos);
    EXPECT_EQ(w, 0);
    EXPECT_TRUE(drawn().empty());
}

// ---- names ----------------------------------------------------------------------------------

TEST(TtfNames, SetFontFillsTheNamesOfTheLevel) {
    reset_ttf();
    const uint8_t level = 3;
    ttf_obj_level = &level;
    _fontn = 9;
    SET_FONT("arial", 14);
    EXPECT_STREQ(DEFAULT, "arial.ttf");
    EXPECT_STREQ(DEFAULOLD, "arial.ttf");
    EXPECT_STREQ(DEFA[3], "arial.ttf");
    EXPECT_STREQ(DEFA[0], "");
    EXPECT_EQ(_fonty, 14);
    SET_FONT("cour.fon", 0);
    EXPECT_STREQ(DEFAULT, "cour.fon");
    EXPECT_EQ(_fonty, 14);
    // One character changes no name; a size alone still sets _fonty.
    SET_FONT("x", 20);
    EXPECT_STREQ(DEFAULT, "cour.fon");
    EXPECT_EQ(_fonty, 20);
    SET_FONT("", 25);
    EXPECT_EQ(_fonty, 25);
    // Long names are cut to the field, keeping ".ttf".
    const std::string longer(150, 'n');
    SET_FONT(longer.c_str(), 0);
    EXPECT_EQ(strlen(DEFAULT), size_t(TTF_NAME - 1));
    EXPECT_STREQ(DEFAULT + TTF_NAME - 5, ".ttf");
    SET_FONT((longer + ".ttf").c_str(), 0);
    EXPECT_EQ(strlen(DEFA[3]), size_t(TTF_NAME - 1));
    // Fixed fonts take no TrueType names or sizes.
    reset_ttf();
    _fontn = 6;
    SET_FONT("arial", 14);
    EXPECT_STREQ(DEFAULT, "");
    EXPECT_EQ(_fonty, 0);
    TTF_SIZE(0);
    EXPECT_EQ(_fonty, 0);
    TTF_SIZE(12);
    EXPECT_EQ(_fonty, 12);
    reset_ttf();
}

}  // namespace
