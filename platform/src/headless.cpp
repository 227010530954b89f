// The headless display: no window; the client area is the framebuffer, the caller sets the
// input, and the framebuffer can be written to PNG files.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <atomic>
#include <string>
#include <vector>

#include "platform/display.h"
#include "platform/framebuffer.h"
#include "platform/input.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#include <stb/stb_image_write.h>

namespace {
std::atomic<bool> headless{false};
}

void headless_start() {
    headless.store(true);
    if (MyDir[0] == 0 && !getcwd(MyDir, 199)) MyDir[0] = 0;
    client_width.store(crtx);
    client_height.store(crty);
    display_set_backend(nullptr);
    fb_open();
}

bool headless_mode() { return headless.load(); }

int fb_write_png(const char* path, int x, int y, int width, int height) {
    fb_open();
    int x0 = std::max(x, 0), y0 = std::max(y, 0);
    int x1 = std::min<int64_t>(int64_t(x) + width, crtx);
    int y1 = std::min<int64_t>(int64_t(y) + height, 4 * int64_t(crty));
    if (x1 <= x0 || y1 <= y0) return -1;
    int w = x1 - x0, h = y1 - y0;
    std::vector<unsigned char> rgb(size_t(w) * size_t(h) * 3);
    unsigned char* out = rgb.data();
    for (int row = y0; row < y1; row++) {
        const uint32_t* src = dx_surface + size_t(row) * size_t(dx_pitch);
        for (int col = x0; col < x1; col++) {
            uint32_t p = src[col];
            *out++ = uint8_t(p >> 16);
            *out++ = uint8_t(p >> 8);
            *out++ = uint8_t(p);
        }
    }
    int len = 0;
    unsigned char* png = stbi_write_png_to_mem(rgb.data(), w * 3, w, h, 3, &len);
    if (!png) {
        errno = ENOMEM;
        return -1;
    }
    // The picture goes to a new file beside the target, renamed over it only when every
    // write and the close succeeded: a full disk never leaves a cut picture, an existing
    // file stays whole on failure, and what is not a regular file is not written to.
    struct stat st;
    if (::stat(path, &st) == 0 && !S_ISREG(st.st_mode)) {
        std::free(png);
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return -1;
    }
    std::string temp = std::string(path) + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    bool ok = fd >= 0 && ::fchmod(fd, 0644) == 0;
    for (int done = 0; ok && done < len;) {
        const ssize_t n = ::write(fd, png + done, size_t(len - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            ok = false;
        } else {
            done += int(n);
        }
    }
    if (fd >= 0 && ::close(fd) != 0 && ok) ok = false;
    if (ok && ::rename(temp.c_str(), path) != 0) ok = false;
    const int err = errno;
    std::free(png);
    if (ok) return 0;
    if (fd >= 0) ::unlink(temp.c_str());
    errno = err;
    return -1;
}

int headless_write_png(const char* path) { return fb_write_png(path, 0, 0, crtx, crty); }
