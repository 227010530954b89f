#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>

#include "platform/display.h"
#include "platform/input.h"
#include "platform/scratch.h"
#include "support/framebuffer_helpers.h"

#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#include <stb/stb_image.h>

namespace {

// The pixels of a PNG as 0x00RRGGBB, and its size; empty when it does not load.
std::vector<uint32_t> load_png(const std::string& path, int& w, int& h) {
    int n = 0;
    unsigned char* rgb = stbi_load(path.c_str(), &w, &h, &n, 3);
    std::vector<uint32_t> pixels;
    for (int i = 0; rgb && i < w * h; i++)
        pixels.push_back(uint32_t(rgb[3 * i]) << 16 | uint32_t(rgb[3 * i + 1]) << 8 | rgb[3 * i + 2]);
    stbi_image_free(rgb);
    return pixels;
}

// The client area is the size of the framebuffer; a PNG holds the part of a rectangle
// inside the framebuffer. (That a screenshot is the screen, pixel for pixel, is in the app's
// operator key tests.)
TEST(Headless, ClientAreaIsTheFramebufferAndAPngHoldsTheRectangleInsideIt) {
    const ScratchDir dir("headless");
    headless_start();
    EXPECT_EQ(std::tuple(headless_mode(), client_width.load(), client_height.load(), MyDir[0] != 0), std::tuple(true, 1024, 600, true));
    fb_fill_all(0);
    dx_surface[addr(1023, 2399)] = 0xFFFFFF;
    int w = 0, h = 0;
    ASSERT_EQ(fb_write_png(dir("corner.png").c_str(), 1020, 2396, 50, 50), 0);
    const std::vector<uint32_t> corner = load_png(dir("corner.png"), w, h);
    EXPECT_EQ(std::tuple(w, h, corner.size() == 16 ? corner[15] : 0u), std::tuple(4, 4, 0xFFFFFFu));
    EXPECT_EQ(fb_write_png(dir("none.png").c_str(), 2000, 0, 10, 10), -1);  // an empty rectangle
}

// A write that fails leaves what was at the path as it was and no file of its own.
TEST(Headless, APngIsWrittenWholeOrNotAtAll) {
    const ScratchDir dir("headless_whole");
    headless_start();
    std::filesystem::create_directories(dir("folder"));
    std::ofstream(dir("kept.png")) << "keep";
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const struct {
        std::string path;
        rlim_t size_limit;
        int error;
    } cases[] = {{dir("kept.png"), 100, EFBIG},  // a full disk
                 {dir("folder"), RLIM_INFINITY, EISDIR},
                 {dir("none/x.png"), RLIM_INFINITY, ENOENT}};
    for (const auto& c : cases) {
        rlimit limit = old;
        limit.rlim_cur = c.size_limit;
        setrlimit(RLIMIT_FSIZE, &limit);
        errno = 0;
        EXPECT_EQ(fb_write_png(c.path.c_str(), 0, 0, 1024, 600), -1) << c.path;
        const int error = errno;
        setrlimit(RLIMIT_FSIZE, &old);
        EXPECT_EQ(error, c.error) << c.path;
    }
    std::ifstream in(dir("kept.png"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "keep");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir()), {}), 2) << "a temporary file was left";
    EXPECT_EQ(fb_write_png(dir("kept.png").c_str(), 0, 0, 8, 8), 0);  // and a good write replaces the file
    EXPECT_GT(std::filesystem::file_size(dir("kept.png")), 8u);
}

}  // namespace
