// Shared pieces of the fuzz harnesses. Each harness defines LLVMFuzzerTestOneInput (and
// may define LLVMFuzzerInitialize); it is linked either with libFuzzer (the fuzz build)
// or with replay_main.cpp, which runs saved inputs through it (the normal builds' tests).
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);

// A broken promise of the code under test: reported and aborted, so that the fuzzer keeps
// the input and the replay test fails.
#define FUZZ_CHECK(cond)                                                                   \
    do {                                                                                   \
        if (!(cond)) {                                                                     \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                                  \
        }                                                                                  \
    } while (0)

namespace fuzz {

// Takes the input apart from the front: the fields that steer a harness, then the rest.
class Bytes {
public:
    Bytes(const uint8_t* data, size_t size) : p_(data), n_(size) {}
    uint8_t u8() { return n_ ? (n_--, *p_++) : 0; }
    uint16_t u16() { return uint16_t(u8() | u8() << 8); }
    size_t left() const { return n_; }
    const uint8_t* rest() const { return p_; }
    std::string_view take(size_t n) {
        if (n > n_) n = n_;
        std::string_view out(reinterpret_cast<const char*>(p_), n);
        p_ += n;
        n_ -= n;
        return out;
    }

private:
    const uint8_t* p_;
    size_t n_;
};

// The input as a NUL-terminated string (cut at an embedded NUL where a C string is read).
inline std::string text(const uint8_t* data, size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

// A file in a private scratch folder (made once per process under TMPDIR, removed at exit)
// that the loaders under test read by name.
class Scratch {
public:
    static const std::string& dir() {
        // Never destroyed: the exit handler that removes the folder still reads it.
        static const std::string& d = *[] {
            const char* tmp = std::getenv("TMPDIR");
            auto* t = new std::string(std::string(tmp && *tmp ? tmp : "/tmp") + "/corvane-fuzz-XXXXXX");
            if (!mkdtemp(t->data())) std::abort();
            std::atexit([] {
                std::error_code ec;
                std::filesystem::remove_all(dir(), ec);
            });
            return t;
        }();
        return d;
    }
    // Writes bytes to dir()/name whole; the path.
    static std::string put(const char* name, const void* bytes, size_t n) {
        const std::string path = dir() + "/" + name;
        FILE* f = std::fopen(path.c_str(), "wb");
        if (!f || std::fwrite(bytes, 1, n, f) != n || std::fclose(f) != 0) std::abort();
        return path;
    }
};

}  // namespace fuzz
