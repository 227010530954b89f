#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include <cstdio>
#include <string>

#include "support/framebuffer_helpers.h"
#include "platform/display.h"
#include "platform/input.h"

#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#include <stb/stb_image.h>

namespace {

std::string temp_png(const char* name) {
    return std::string(CORVANE_BINARY_DIR) + "/" + name + "." + std::to_string(getpid()) + ".png";
}

// The client area is the size of the framebuffer; the PNG holds exactly its visible rows.
TEST(Headless, ClientAreaIsTheFramebufferAndPngHoldsTheVisibleScreenExactly) {
    headless_start();
    EXPECT_TRUE(headless_mode());
    EXPECT_EQ(client_width, 1024);
    EXPECT_EQ(client_height, 600);
    EXPECT_NE(MyDir[0], 0);
    fb_fill_all(0);
    for (int y = 0; y < 600; y += 7)
        for (int x = 0; x < 1024; x += 3) dx_surface[addr(x, y)] = uint32_t(x * 2654435761u + y) & 0xFFFFFF;
    dx_surface[addr(0, 600)] = 0xFFFFFF;  // below the screen: not in the file
    std::string path = temp_png("headless");
    ASSERT_EQ(headless_write_png(path.c_str()), 0);
    int w = 0, h = 0, n = 0;
    unsigned char* rgb = stbi_load(path.c_str(), &w, &h, &n, 3);
    ASSERT_NE(rgb, nullptr);
    EXPECT_EQ(w, 1024);
    EXPECT_EQ(h, 600);
    int wrong = 0;
    for (int i = 0; i < w * h; i++) {
        uint32_t p = uint32_t(rgb[3 * i]) << 16 | uint32_t(rgb[3 * i + 1]) << 8 | rgb[3 * i + 2];
        if (p != dx_surface[i]) wrong++;
    }
    EXPECT_EQ(wrong, 0);
    stbi_image_free(rgb);
    std::remove(path.c_str());

    // Rectangles are clipped to the framebuffer; an empty one is an error.
    path = temp_png("corner");
    ASSERT_EQ(fb_write_png(path.c_str(), 1020, 2396, 50, 50), 0);
    rgb = stbi_load(path.c_str(), &w, &h, &n, 3);
    ASSERT_NE(rgb, nullptr);
    EXPECT_EQ(w, 4);
    EXPECT_EQ(h, 4);
    stbi_image_free(rgb);
    std::remove(path.c_str());
    EXPECT_EQ(fb_write_png(path.c_str(), 2000, 0, 10, 10), -1);
}

// A write that fails leaves what was at the path as it was and no file of its own.
TEST(Headless, APngIsWrittenWholeOrNotAtAll) {
    headless_start();
    const std::filesystem::path dir = temp_png("whole");
    std::filesystem::create_directories(dir / "folder");
    const std::string kept = (dir / "kept.png").string();
    std::ofstream(kept) << "keep";
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const struct {
        std::string path;
        rlim_t size_limit;
        int error;
    } cases[] = {{kept, 100, EFBIG},  // a full disk
                 {(dir / "folder").string(), RLIM_INFINITY, EISDIR},
                 {(dir / "none" / "x.png").string(), RLIM_INFINITY, ENOENT}};
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
    std::ifstream in(kept);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "keep");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 2) << "a temporary file was left";
    EXPECT_EQ(fb_write_png(kept.c_str(), 0, 0, 8, 8), 0);  // and a good write replaces the file
    EXPECT_GT(std::filesystem::file_size(kept), 8u);
    std::filesystem::remove_all(dir);
}

}  // namespace
