// links: platform
//
// Round trips through the stream layer over loopback, beside the same round trip on plain
// blocking sockets with a plain echo thread. The layer waits in poll slices with a stop
// point after each, so that server tasks can be removed; this shows what that costs per
// message: a blocking read must still wake as soon as the bytes arrive.
//
//   TcpStreams/n    xfwrite of n bytes to the echo handler of a "TCP-SERVER:" stream,
//                   xfread until the n bytes are back (client "TCP:127.0.0.1<block")
//   TcpPlain/n      the same with send/recv and a std::thread echoing
//   UdpStreams/n    one datagram to a "UDP-SERVER:" handler and its reply
//   CalFile         a calibration-sized file (32 + 5 x 2001 x 8 bytes) written and read
//                   back through xfopen/xfwrite/xfread
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include "platform/streams.h"

namespace {

void echo_handler(void* stream) {
    std::vector<char> buf(65536);
    for (;;) {
        size_t n = xfread(buf.data(), 1, buf.size(), stream);
        if (n == 0 || xfwrite(buf.data(), 1, n, stream) != n) return;
    }
}

int echo_datagram(const uint8_t* data, uint8_t* reply, int, int, int length) {
    std::memcpy(reply, data, size_t(length));
    return length;
}

// Reads exactly n bytes through the stream; false when it ended first.
bool read_all(void* c, char* p, size_t n) {
    for (size_t got = 0; got < n;) {
        size_t r = xfread(p + got, 1, n - got, c);
        if (r == 0) return false;
        got += r;
    }
    return true;
}

// Opens an echo server on a port the system chooses and a blocking client of it; skips
// the benchmark when either fails. The pair is closed when it goes out of scope.
struct EchoPair {
    void* server = nullptr;
    void* client = nullptr;

    template <class Handler>
    EchoPair(benchmark::State& state, const char* server_name, const char* client_name,
             Handler handler) {
        xf_bind_address.store(INADDR_LOOPBACK);
        server = xfopen(server_name, handler);
        if (server)
            client = xfopen(client_name, int(static_cast<ETH_FILE*>(server)->port.load()));
        if (!client) state.SkipWithError("cannot open the loopback echo pair");
    }
    ~EchoPair() {
        xfclose(client);
        xfclose(server);
    }
};

void TcpStreams(benchmark::State& state) {
    EchoPair pair(state, "TCP-SERVER:0", "TCP:127.0.0.1<block", echo_handler);
    if (!pair.client) return;
    void* c = pair.client;
    const size_t n = size_t(state.range(0));
    std::vector<char> out(n, 'x'), in(n);
    for (auto _ : state) {
        if (xfwrite(out.data(), 1, n, c) != n || !read_all(c, in.data(), n)) {
            state.SkipWithError("echo failed");
            break;
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(n));
}

void TcpPlain(benchmark::State& state) {
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
    listen(listener, 1);
    std::thread echo([listener] {
        int fd = accept(listener, nullptr, nullptr);
        std::vector<char> buf(65536);
        for (ssize_t r; (r = recv(fd, buf.data(), buf.size(), 0)) > 0;)
            if (send(fd, buf.data(), size_t(r), MSG_NOSIGNAL) != r) break;
        close(fd);
    });
    int c = socket(AF_INET, SOCK_STREAM, 0);
    connect(c, reinterpret_cast<sockaddr*>(&a), sizeof a);
    const size_t n = size_t(state.range(0));
    std::vector<char> out(n, 'x'), in(n);
    for (auto _ : state) {
        send(c, out.data(), n, MSG_NOSIGNAL);
        for (size_t got = 0; got < n;) {
            ssize_t r = recv(c, in.data() + got, n - got, 0);
            if (r <= 0) break;
            got += size_t(r);
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(n));
    close(c);
    echo.join();
    close(listener);
}

void UdpStreams(benchmark::State& state) {
    EchoPair pair(state, "UDP-SERVER:0", "UDP:127.0.0.1<block", echo_datagram);
    if (!pair.client) return;
    void* c = pair.client;
    const size_t n = size_t(state.range(0));
    std::vector<char> out(n, 'u'), in(UDP_BUFFER_SIZE);
    for (auto _ : state) {
        if (xfwrite(out.data(), 1, n, c) != n || xfread(in.data(), 1, in.size(), c) != n) {
            state.SkipWithError("datagram echo failed");
            break;
        }
    }
}

void CalFile(benchmark::State& state) {
    const std::string path = "/tmp/streams_bench." + std::to_string(getpid()) + ".cal";
    std::vector<char> data(32 + 5 * 2001 * 8, 7), back(data.size());
    for (auto _ : state) {
        void* f = xfopen(path.c_str(), "wb");
        bool ok = f && xfwrite(data.data(), 1, data.size(), f) == data.size();
        if (f) xfclose(f);
        f = ok ? xfopen(path.c_str(), "rb") : nullptr;
        ok = f && xfread(back.data(), 1, back.size(), f) == back.size();
        if (f) xfclose(f);
        if (!ok) {
            state.SkipWithError("file round trip failed");
            break;
        }
    }
    std::remove(path.c_str());
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(2 * data.size()));
}

}  // namespace

BENCHMARK(TcpStreams)->Arg(32)->Arg(256)->Arg(65536)->UseRealTime();
BENCHMARK(TcpPlain)->Arg(32)->Arg(256)->Arg(65536)->UseRealTime();
BENCHMARK(UdpStreams)->Arg(32)->Arg(1440)->UseRealTime();
BENCHMARK(CalFile)->UseRealTime();

BENCHMARK_MAIN();
