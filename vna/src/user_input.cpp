// Reading and writing files the user names, and echoing the user's text safely.
#include "vna/user_input.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

UserFile vna_read_user_file(const char* path, size_t max, std::string& out, int& err) {
    out.clear();
    err = 0;
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        err = errno;
        return UserFile::cannot_open;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return UserFile::not_regular;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    UserFile result = UserFile::ok;
    char buf[65536];
    while (out.size() < max) {
        const ssize_t n = ::read(fd, buf, std::min(sizeof buf, max - out.size()));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            err = errno;
            result = UserFile::read_error;
            break;
        }
        if (n == 0) break;
        out.append(buf, size_t(n));
    }
    ::close(fd);
    return result;
}

std::string vna_user_file_reason(UserFile result, int err) {
    if (result == UserFile::not_regular) return "not a regular file";
    return std::strerror(err ? err : EIO);
}

FileWrite vna_write_whole_file(const char* path, std::string_view bytes, int& err) {
    static std::atomic<unsigned> serial{0};
    const std::string temp =
        std::string(path) + "." + std::to_string(getpid()) + "." + std::to_string(serial.fetch_add(1)) + ".tmp";
    err = 0;
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        err = errno;
        return FileWrite::create_failed;
    }
    FileWrite result = FileWrite::done;
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t w = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            err = w < 0 ? errno : EIO;
            result = FileWrite::write_failed;
            break;
        }
        done += size_t(w);
    }
    if (result == FileWrite::done && ::fsync(fd) != 0) {
        err = errno;
        result = FileWrite::write_failed;
    }
    if (::close(fd) != 0 && result == FileWrite::done) {
        err = errno;
        result = FileWrite::write_failed;
    }
    if (result == FileWrite::done && std::rename(temp.c_str(), path) != 0) {
        err = errno;
        result = FileWrite::rename_failed;
    }
    if (result != FileWrite::done) ::unlink(temp.c_str());
    return result;
}

namespace {

// Length of the well-formed UTF-8 sequence at s[i] (2 to 4), 0 when there is none.
size_t utf8_length(std::string_view s, size_t i) {
    const auto byte = [&](size_t k) { return i + k < s.size() ? uint8_t(s[i + k]) : uint8_t(0); };
    const auto cont = [&](size_t k, uint8_t lo = 0x80, uint8_t hi = 0xBF) { return byte(k) >= lo && byte(k) <= hi; };
    const uint8_t b = byte(0);
    if (b >= 0xC2 && b <= 0xDF) return cont(1) ? 2 : 0;
    if (b == 0xE0) return cont(1, 0xA0) && cont(2) ? 3 : 0;
    if (b == 0xED) return cont(1, 0x80, 0x9F) && cont(2) ? 3 : 0;  // no surrogates
    if (b >= 0xE1 && b <= 0xEF) return cont(1) && cont(2) ? 3 : 0;
    if (b == 0xF0) return cont(1, 0x90) && cont(2) && cont(3) ? 4 : 0;
    if (b >= 0xF1 && b <= 0xF3) return cont(1) && cont(2) && cont(3) ? 4 : 0;
    if (b == 0xF4) return cont(1, 0x80, 0x8F) && cont(2) && cont(3) ? 4 : 0;
    return 0;
}

// Code points that are valid but act on the terminal or the text's direction: the C1
// controls and the bidirectional overrides and isolates.
bool is_format_control(uint32_t c) {
    return (c >= 0x80 && c <= 0x9F) || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

uint32_t code_point(std::string_view s, size_t i, size_t n) {
    static constexpr uint8_t lead_mask[5] = {0, 0, 0x1F, 0x0F, 0x07};
    uint32_t c = uint8_t(s[i]) & lead_mask[n];
    for (size_t k = 1; k < n; k++) c = c << 6 | (uint8_t(s[i + k]) & 0x3F);
    return c;
}

}  // namespace

std::string vna_printable(std::string_view text, size_t max_chars) {
    std::string out;
    size_t chars = 0;
    char esc[16];
    for (size_t i = 0; i < text.size(); chars++) {
        if (chars == max_chars) {
            out += "...";
            break;
        }
        const uint8_t b = uint8_t(text[i]);
        if (b >= 0x20 && b < 0x7F) {
            if (b == '\\') out += '\\';
            out += char(b);
            i++;
            continue;
        }
        if (const size_t n = utf8_length(text, i)) {
            const uint32_t c = code_point(text, i, n);
            if (is_format_control(c)) {
                std::snprintf(esc, sizeof esc, "\\u%04x", unsigned(c));
                out += esc;
            } else {
                out.append(text.substr(i, n));
            }
            i += n;
            continue;
        }
        switch (b) {
            case 0: out += "\\0"; break;
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            default:
                std::snprintf(esc, sizeof esc, "\\x%02x", unsigned(b));
                out += esc;
        }
        i++;
    }
    return out;
}
