// Stream names, and the TCP client's end-of-stream rules against a plain socket. No program
// uses the stream layer (only bench/streams_loopback.cpp does, with its echo servers), so
// its servers, UDP, files and failure paths are not tested here.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <tuple>

#include <gtest/gtest.h>

#include "platform/streams.h"

namespace {

TEST(StreamNames, MarkersAtTheStartPickTheKindAndTheNamePart) {
    const struct { const char *name, *part; uint32_t kind; int block, port; } cases[] = {
        {"TCP-SERVER:0", "0", XF_TCP_SERVER, -1, 0},
        {"TCP_PORT:65535", "65535", XF_TCP_SERVER, -1, 65535},
        {"TCP-SERVER:65536", "65536", XF_TCP_SERVER, -1, -2},
        {"TCP-SERVER:12ab", "12ab", XF_TCP_SERVER, -1, -2},
        {"TCP-SERVER:99999999999999999999999", "99999999999999999999999", XF_TCP_SERVER, -1, -2},
        {"TCP:127.0.0.1<block", "127.0.0.1", XF_TCP_CLIENT, 1, -1},
        {"data/TCP:x", "data/TCP:x", XF_FILE, -1, -1},
    };
    for (const auto& c : cases) {
        const XF_NAME n = xf_parse_name(c.name);
        EXPECT_EQ(std::tuple(n.kind, std::string(n.name), n.block, n.port),
                  std::tuple(c.kind, std::string(c.part), c.block, c.port)) << c.name;
    }
}

// A plain listening socket on 127.0.0.1 at a port the system chooses.
int listener(uint16_t& port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t len = sizeof a;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0 || listen(fd, 8) != 0)
        std::abort();
    port = ntohs(a.sin_port);
    return fd;
}

// The client sends a zero byte before it closes, and reaches its end when the peer closes.
// Binds to loopback only. Still running after a minute, it ends the program (SIGALRM)
// instead of hanging; reads of the plain socket give up after 10 s.
TEST(Streams, TcpClientEndOfStreamRules) {
    alarm(60);
    xf_bind_address.store(INADDR_LOOPBACK);
    uint16_t port = 0;
    const int listen_fd = listener(port);
    int peer = -1;
    const timeval limit{10, 0};
    auto connect = [&](const char* name) {
        void* client = xfopen(name, int(port));
        peer = client ? accept(listen_fd, nullptr, nullptr) : -1;
        setsockopt(peer, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        return client;
    };
    char buf[16] = {};
    void* c = connect("TCP:localhost<block");
    ASSERT_NE(c, nullptr);
    ASSERT_EQ(send(peer, "abc", 3, 0), 3);
    EXPECT_EQ((std::tuple{xfread(buf, 1, sizeof buf, c), std::string(buf), xfclose(c)}), std::tuple(3u, "abc", 1));
    EXPECT_EQ(recv(peer, buf, sizeof buf, 0), 1);  // the zero byte, then the end
    EXPECT_EQ(std::tuple(buf[0], recv(peer, buf, sizeof buf, 0)), std::tuple('\0', ssize_t(0)));
    close(peer);
    // The peer closes: the client reaches its end.
    c = connect("TCP:127.0.0.1<block");
    close(peer);
    EXPECT_EQ((std::tuple{xfread(buf, 1, sizeof buf, c), xeof(c), xfclose(c)}), std::tuple(0u, 1, 1));
    close(listen_fd);
    alarm(0);
}

}  // namespace
