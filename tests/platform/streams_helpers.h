// Helpers for the stream tests: a trace recorder, slot counting, and plain loopback
// sockets for the far end of a stream.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/streams.h"

namespace streams_test {

using namespace std::chrono_literals;

// Collects the trace lines handed to `rep` while it lives.
class TraceLog {
public:
    TraceLog() {
        std::lock_guard<std::mutex> g(mutex_);
        lines_.clear();
        rep.store([](const char* line) {
            std::lock_guard<std::mutex> g(mutex_);
            lines_.emplace_back(line);
        });
    }
    ~TraceLog() { rep.store(previous_); }

    // True when some line begins with prefix.
    bool has(const std::string& prefix) const {
        std::lock_guard<std::mutex> g(mutex_);
        for (const auto& l : lines_)
            if (l.rfind(prefix, 0) == 0) return true;
        return false;
    }

private:
    static inline std::mutex mutex_;
    static inline std::vector<std::string> lines_;
    trace_hook previous_ = rep.load();
};

inline int free_slots() {
    int n = 0;
    for (const ETH_FILE& f : eth_file) n += f.host.load() == nullptr;
    return n;
}

// Polls cond every millisecond for at most limit; true when it held.
template <class Cond>
bool eventually(Cond cond, std::chrono::milliseconds limit = 10000ms) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

inline sockaddr_in loopback(uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

// A plain socket bound to 127.0.0.1 on a port the system chooses; listening for TCP.
inline int raw_bound(int type, uint16_t& port, bool listening) {
    int fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
    sockaddr_in a = loopback(0);
    socklen_t len = sizeof a;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0 ||
        (listening && listen(fd, 8) != 0))
        std::abort();
    port = ntohs(a.sin_port);
    return fd;
}

// Reads and writes of plain sockets give up after 10 s instead of hanging.
inline void set_timeouts(int fd) {
    timeval tv{10, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

// A blocking TCP connection to 127.0.0.1:port; -1 when refused.
inline int raw_connect(uint16_t port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = loopback(port);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    set_timeouts(fd);
    return fd;
}

inline int raw_accept(int listen_fd) {
    int fd = accept(listen_fd, nullptr, nullptr);
    if (fd >= 0) set_timeouts(fd);
    return fd;
}

// Reads until n bytes arrived, the peer closed or the timeout passed.
inline std::string raw_read(int fd, size_t n) {
    std::string s;
    char buf[4096];
    while (s.size() < n) {
        ssize_t r = recv(fd, buf, std::min(sizeof buf, n - s.size()), 0);
        if (r <= 0) break;
        s.append(buf, size_t(r));
    }
    return s;
}

inline void raw_write(int fd, const std::string& s) {
    ASSERT_EQ(send(fd, s.data(), s.size(), MSG_NOSIGNAL), ssize_t(s.size()));
}

// Every stream test binds to loopback only and must leave the slot table as it found it.
// A test still running after a minute ends the program (SIGALRM): a stream that never
// returns is a failure, not a stuck run.
class LoopbackStreams : public ::testing::Test {
protected:
    void SetUp() override {
        alarm(60);
        xf_bind_address.store(INADDR_LOOPBACK);
        ASSERT_EQ(free_slots(), ETH_FILES) << "an earlier test left streams open";
    }
    void TearDown() override {
        EXPECT_TRUE(eventually([] { return free_slots() == ETH_FILES; }))
            << ETH_FILES - free_slots() << " slots still taken";
        alarm(0);
    }
};

}  // namespace streams_test
