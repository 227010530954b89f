// TrueType text: the decision between bitmap and TrueType, UTF-8 decoding, the font cache
// with its failure and eviction paths, drawing and the fallback chain.
//
// Font tests run in a temporary start directory whose FONTS/ folder links "default.ttf" to
// DejaVu Sans and "notobd.ttf" to a Noto CJK bold face; they are skipped when those system
// fonts are not installed.
#include "gfx/ttf.h"
#include "gfx_helpers.h"
#include "support/reference_image.h"

namespace fs = std::filesystem;

namespace {

const char* const DEJAVU = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
const char* const NOTO_BOLD = "/usr/share/fonts/opentype/noto/NotoSansCJK-Bold.ttc";
const char* const CHINESE = "\xE4\xB8\xAD\xE6\x96\x87";

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

// The UTF-8 bytes of code point c (at least 0x80).
std::string utf8(uint32_t c) {
    const int n = c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    std::string s(size_t(n), '\0');
    for (int i = n - 1; i > 0; i--, c >>= 6) s[size_t(i)] = char(0x80 | (c & 63));
    s[0] = char(uint32_t(0xFF00 >> n) | c);  // 110xxxxx, 1110xxxx or 11110xxx
    return s;
}

// needs_ttf over fonts and scripts: font 33 (the Unicode font) takes CJK (needs_cjk, result
// 5) to TrueType and keeps everything else; fonts 25 to 27 keep Latin text (the Latin check);
// fixed fonts set ten times their height as the size.
TEST(TtfDecision, NeedsTtfFollowsFontAndScript) {
    struct Decision { int fontn, fonty; const char* defaulold; const char* text; int result, size; } const cases[] = {
        {33, 0, "", "$LAMP.bmp \xE4\xB8\xAD", 0, 0},
        {33, 0, "", "\xD0\x96", 0, 0},  // Cyrillic: the Unicode font has no Latin check
        {33, 0, "", "\xFF\x80\xE4\xB8\xAD", 5, 0},
        {4, 3, "", "Gr\xC3\xBC\xC3\x9F" "e", 1, 60},
        {2, 1, "", "\xE4\xB8\xAD", 5, 30},
        {-16, 5, "", "Hello", 0, 0},
        {24, 0, "arial.ttf", "Hello", 3, 0},
        {25, 0, "", "\xC9\x8F", 0, 0},
        {25, 0, "", "\xC9\x90", 1, 0},
        {25, 0, "", "\xC2\xA0", 0, 0},
        {25, 0, "", "\xC2\x9F", 1, 0},
        {25, 0, "", "a\x80", 1, 0},
        {25, 0, "", "\xC3(x", 0, 0},  // continuation bytes are not checked, the end of the text is
        {25, 0, "", "ab\xE4", 0, 0},
    };
    for (const Decision& c : cases) {
        reset_ttf();
        _fontn = uint8_t(c.fontn);
        _fonty = uint8_t(c.fonty);
        snprintf(DEFAULOLD, sizeof DEFAULOLD, "%s", c.defaulold);
        font_size = -1;
        EXPECT_EQ(std::make_pair(needs_ttf(c.text), font_size), std::make_pair(c.result, c.size))
            << c.fontn << " " << c.text;
    }
    reset_ttf();
    // SET_FONT fills the names of the object's level; fixed fonts take no TrueType names or
    // sizes.
    const uint8_t level = 3;
    ttf_obj_level = &level;
    struct Font { int fontn; std::string name; int size; std::string now; int fonty; } const fonts[] = {
        {6, "arial", 14, "", 0},
        {9, "arial", 14, "arial.ttf", 14},
    };
    for (const Font& f : fonts) {
        _fontn = uint8_t(f.fontn);
        SET_FONT(f.name.c_str(), f.size);
        EXPECT_EQ(std::tuple(std::string(DEFAULT), std::string(DEFAULOLD), std::string(DEFA[3]), std::string(DEFA[0])),
                  std::tuple(f.now, f.now, f.now, std::string()));
        EXPECT_EQ(_fonty, f.fonty) << f.name;
    }
    reset_ttf();
    // The ends of every range that needs the CJK face and code points just beside them, which
    // take exact decoding of two, three and four bytes; a lone continuation byte, a truncated
    // sequence and a bad continuation byte decode to nothing.
    for (uint32_t c : {0x4E00, 0x9FFF, 0x3400, 0x20000, 0x2CEAF, 0xF900, 0x2FA1F, 0x3040, 0x30FF, 0x31F0, 0xAC00,
                       0xD7AF, 0x0600, 0x06FF, 0x0590, 0x0E00, 0x097F, 0x1F300, 0x1FAFF})
        EXPECT_EQ(needs_cjk(("a" + utf8(c)).c_str()), 1) << std::hex << c;
    for (uint32_t c : {0x4DFF, 0x0400, 0x0700, 0x0E80, 0x2A6E0, 0x1FB00, 0x3100, 0xD7B0, 0x08FF})
        EXPECT_EQ(needs_cjk(("a" + utf8(c)).c_str()), 0) << std::hex << c;
    for (const char* bad : {"\x80", "\xE4\xB8", "\xC3\xC3"}) {
        uint32_t code = 0;
        EXPECT_EQ(std::make_pair(utf8_decode(bad, &code), code), std::make_pair(0, 0u)) << bad;
    }
}

// ---- font files ---------------------------------------------------------------------------

// What went to standard error since the last look.
std::string errors() {
    std::string s = testing::internal::GetCapturedStderr();
    testing::internal::CaptureStderr();
    return s;
}

// Each path loads once into the first free slot; a failure (missing, empty, a directory,
// garbage, truncated) is reported once and takes no slot until the failures are forgotten;
// the full cache reuses slot 0, also for a path it evicted; a failed load into it leaves
// slot 0 free for the next. Then one scene: "Hello, world" by its bare name (found under
// ./FONTS/); a white "O" over black and over a blue box (faint pixels leave the blue, the
// others blend over it); "Hello" through the chain from a missing name (default.ttf) and
// from DEFAULT (the CJK face); Chinese past the given name and DejaVu, which lacks the glyphs.
using TtfFiles = Canvas;
TEST_F(TtfFiles, CacheFailuresChainAndScene) {
    if (!fs::exists(DEJAVU) || !fs::exists(NOTO_BOLD))
        GTEST_SKIP() << "needs fonts-dejavu-core and fonts-noto-cjk (" << DEJAVU << ", " << NOTO_BOLD << ")";
    reset_ttf();
    const ScratchDir dir;
    const InFolder in(dir(), "");
    fs::create_directories("FONTS");
    fs::create_symlink(DEJAVU, "FONTS/default.ttf");
    fs::create_symlink(NOTO_BOLD, "FONTS/notobd.ttf");
    write_file("empty.ttf", {});
    write_file("garbage.ttf", std::vector<uint8_t>(4096, 'x'));
    for (auto [file, size] : {std::pair("short.ttf", 3000), std::pair("header.ttf", 11)}) {
        fs::copy_file(DEJAVU, file);
        fs::resize_file(file, size);
    }
    testing::internal::CaptureStderr();
    const std::pair<const char*, const char*> failures[] = {
        {"missing.ttf", "Errore apertura TTF: missing.ttf\n"},
        {"empty.ttf", "Errore apertura TTF: empty.ttf\n"},
        {"FONTS", "Errore apertura TTF: FONTS\n"},
        {"garbage.ttf", "TTF non valido: garbage.ttf\n"},
        {"short.ttf", "TTF non valido: short.ttf\n"},
        {"header.ttf", "TTF non valido: header.ttf\n"},
    };
    for (auto [file, message] : failures) {
        EXPECT_EQ(get_font_for_path(file), nullptr);
        EXPECT_EQ(get_font_for_path(file), nullptr);
        EXPECT_EQ(errors(), message);
    }
    ttf_forget_failures();
    EXPECT_EQ(get_font_for_path("missing.ttf"), nullptr);
    EXPECT_EQ(errors(), failures[0].second);
    // Short names are refused without touching the cache.
    for (const char* name : {"a.tt", "", static_cast<const char*>(nullptr)})
        EXPECT_EQ(draw_text_ttf_font(10, 10, "Hello", name, 20.f, 0xFFFFFF00), 0);
    EXPECT_EQ(draw_text_ttf_font(10, 10, nullptr, "default.ttf", 20.f, 0xFFFFFF00), 0);
    EXPECT_EQ(errors(), "");
    EXPECT_TRUE(drawn().empty());
    auto name = [](int i) { return "f" + std::to_string(i) + ".ttf"; };
    for (int i = 0; i <= TTF_CACHE_SLOTS; i++) fs::create_symlink(DEJAVU, name(i));
    for (int i = 0; i < 2 * TTF_CACHE_SLOTS; i++) EXPECT_EQ(get_font_for_path(name(i / 2).c_str()), &g_fonts[i / 2]);
    const std::pair<const char*, CachedFont*> loads[] = {
        {"f100.ttf", &g_fonts[0]}, {"f1.ttf", &g_fonts[1]}, {"f0.ttf", &g_fonts[0]}, {"f50.ttf", &g_fonts[50]},
        {"none.ttf", nullptr},     {"f7.ttf", &g_fonts[7]}, {"f100.ttf", &g_fonts[0]},
    };
    for (auto [path, slot] : loads) EXPECT_EQ(get_font_for_path(path), slot) << path;
    EXPECT_EQ(errors(), "Errore apertura TTF: none.ttf\n");
    reset_ttf();
    int w = 0, h = 0;
    const int measured = measure_text_ttf_font("Hello, world", "default.ttf", 20.f, &w, &h);
    EXPECT_EQ(draw_text_ttf_font(4, 4, "Hello, world", "default.ttf", 20.f, 0xFFFFFF00), measured);
    EXPECT_EQ(errors(), "Errore apertura TTF: default.ttf\n");  // the bare name is tried once
    EXPECT_EQ(std::vector<int>({w, h}), std::vector<int>({measured, 20}));
    draw_text_ttf_font(4, 30, "O", "FONTS/default.ttf", 40.f, 0xFFFFFF00);
    v_rectfillc(40, 30, 36, 44, 0x0000FF00);
    draw_text_ttf_font(40, 30, "O", "FONTS/default.ttf", 40.f, 0xFFFFFF00);
    EXPECT_GT(draw_text_ttf(90, 30, "Hello", "nothere.ttf", 18.f, 0xFFFF0000), 0);
    snprintf(DEFAULT, sizeof DEFAULT, "%s", "notobd.ttf");
    draw_text_ttf(90, 52, "Hello", "", 18.f, 0xFFFF0000);
    DEFAULT[0] = 0;
    const int chinese = draw_text_ttf(90, 74, CHINESE, "default.ttf", 18.f, 0xFFFF0000);
    // Measuring follows the same chain; an empty name goes straight to DEFAULT.
    EXPECT_EQ(measure_text_ttf(CHINESE, "", 18.f, &w, &h), chinese);
    EXPECT_EQ(measure_text_ttf("Hello", "", 18.f, &w, &h), measure_text_ttf_font("Hello", "default.ttf", 18.f, &w, &h));
    expect_reference("gfx/ttf", 0, 0, 180, 100);
    // Fonts are found under the start directory's FONTS/ from anywhere; CJK text falls back
    // to default.ttf when notobd.ttf is gone; without both nothing draws.
    reset_ttf();
    snprintf(MyDir, sizeof MyDir, "%s", dir().c_str());
    fs::current_path(fs::temp_directory_path());
    EXPECT_GT(measure_text_ttf_font("Hello", "default.ttf", 20.f, &w, &h), 0);
    EXPECT_EQ(g_fonts[0].path, dir("FONTS/default.ttf"));
    fs::current_path(dir());
    fs::remove("FONTS/notobd.ttf");
    EXPECT_GT(measure_text_ttf(CHINESE, "", 18.f, &w, &h), 0);
    fs::remove_all("FONTS");
    reset_ttf();
    errors();
    EXPECT_EQ(draw_text_ttf(10, 10, "Hello", "x.ttf", 18.f, 0xFFFFFF00), 0);
    EXPECT_EQ(std::make_pair(measure_text_ttf("Hello", "", 18.f, &w, &h), w), std::make_pair(0, 0));
    EXPECT_NE(errors().find("FONTS/notobd.ttf\n"), std::string::npos);
    testing::internal::GetCapturedStderr();
    reset_ttf();
}

}  // namespace
