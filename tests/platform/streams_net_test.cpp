// TCP and UDP streams over loopback: echo servers with handler tasks, the end-of-stream
// rules, the slot table under load, and servers that are closed while they wait.
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/streams.h"
#include "platform/tasks.h"
#include "streams_helpers.h"

namespace {

using namespace streams_test;

ETH_FILE* as_slot(void* h) { return static_cast<ETH_FILE*>(h); }

uint16_t port_of(void* server) { return uint16_t(as_slot(server)->port.load()); }

std::string pattern(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::string s(n, 0);
    for (auto& c : s) c = char(gen());
    return s;
}

// Echoes everything until the peer ends the connection.
void echo_handler(void* stream) {
    char buf[1000];
    for (;;) {
        size_t n = xfread(buf, 1, sizeof buf, stream);
        if (n == 0) return;
        if (xfwrite(buf, 1, n, stream) != n) return;
    }
}

// Says goodbye and closes its own connection.
void goodbye_handler(void* stream) {
    xfwrite("bye", 1, 3, stream);
    EXPECT_EQ(xfclose(stream), 1);
}

// A blocking client of 127.0.0.1 that writes data and reads the echo of all of it.
void echo_client(uint16_t port, const std::string& data, std::atomic<int>& good) {
    void* c = xfopen("TCP:/127.0.0.1<block", int(port));
    if (!c) return;
    std::string back;
    size_t sent = 0;
    std::vector<char> buf(4096);
    while (back.size() < data.size()) {
        if (sent < data.size()) {
            size_t n = std::min<size_t>(3000, data.size() - sent);
            if (xfwrite(data.data() + sent, 1, n, c) != n) break;
            sent += n;
        }
        size_t got = xfread(buf.data(), 1, buf.size(), c);
        if (got == 0) break;
        back.append(buf.data(), got);
    }
    if (back == data && xeof(c) == 0) good++;
    xfclose(c);
}

using TcpStreams = LoopbackStreams;

// A stream client connected to a plain loopback socket that plays the far end.
struct ClientAndPeer {
    uint16_t port = 0;
    int listener = raw_bound(SOCK_STREAM, port, true);
    void* client = nullptr;
    int peer = -1;

    explicit ClientAndPeer(const char* name) { connect(name); }
    ~ClientAndPeer() {
        close_peer();
        close(listener);
    }
    void connect(const char* name) {
        client = xfopen(name, int(port));
        peer = client ? raw_accept(listener) : -1;
    }
    void close_peer() {
        if (peer >= 0) close(peer);
        peer = -1;
    }
};

TEST_F(TcpStreams, EchoServerServesConcurrentClientsAndClosesCleanly) {
    TraceLog log;
    void* server = xfopen("TCP-SERVER:0", echo_handler);
    ASSERT_NE(server, nullptr);
    ASSERT_NE(port_of(server), 0);
    EXPECT_TRUE(log.has("open  TCP SERVER 0  addr=0"));

    std::atomic<int> good{0};
    std::vector<std::thread> clients;
    for (unsigned i = 0; i < 3; i++)
        clients.emplace_back(echo_client, port_of(server), pattern(50000 + i * 7, i),
                             std::ref(good));
    for (auto& t : clients) t.join();
    EXPECT_EQ(good.load(), 3);
    EXPECT_TRUE(log.has("accept hh port="));
    EXPECT_TRUE(log.has("close TCP CLIENT 127.0.0.1"));

    // Connections end by themselves; the server keeps its own slot, its listening stream
    // and the slot it holds for the next connection.
    EXPECT_TRUE(eventually([] { return free_slots() == ETH_FILES - 3; }));
    EXPECT_EQ(xfclose(server), 1);
    EXPECT_EQ(xfclose(server), 0);
    EXPECT_EQ(free_slots(), ETH_FILES);
}

TEST_F(TcpStreams, ClientCloseSendsOneZeroByteAndPeerCloseEndsTheStream) {
    ClientAndPeer s("TCP:localhost<block");
    ASSERT_NE(s.client, nullptr);
    EXPECT_STREQ(as_slot(s.client)->filename, "localhost");
    raw_write(s.peer, "abc");
    char buf[16] = {};
    EXPECT_EQ(xfread(buf, 1, sizeof buf, s.client), 3u);
    EXPECT_STREQ(buf, "abc");
    EXPECT_EQ(xfclose(s.client), 1);
    EXPECT_EQ(raw_read(s.peer, 10), std::string(1, '\0'));  // the zero byte, then the end
    s.close_peer();

    s.connect("TCP:127.0.0.1<block");
    ASSERT_NE(s.client, nullptr);
    s.close_peer();
    EXPECT_EQ(xfread(buf, 1, sizeof buf, s.client), 0u);
    EXPECT_EQ(xeof(s.client), 1);
    // Once ended, the socket is not read again: data waiting on a socket put in its
    // place stays where it is.
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    ASSERT_EQ(send(pair[1], "x", 1, 0), 1);
    const int fd = as_slot(s.client)->host.load()->s;
    ASSERT_EQ(dup2(pair[0], fd), fd);
    EXPECT_EQ(xfread(buf, 1, sizeof buf, s.client), 0u);
    EXPECT_EQ(xfwrite("y", 1, 1, s.client), 0u);
    EXPECT_EQ(recv(fd, buf, sizeof buf, MSG_DONTWAIT), 1);
    EXPECT_EQ(xfclose(s.client), 1);
    close(pair[0]);
    close(pair[1]);
}

TEST_F(TcpStreams, NonBlockingClientWithNothingToReadIsNotAtItsEnd) {
    ClientAndPeer s("TCP:127.0.0.1");
    ASSERT_NE(s.client, nullptr);
    char buf[8] = {};
    EXPECT_EQ(xfread(buf, 1, sizeof buf, s.client), 0u);
    EXPECT_EQ(xeof(s.client), 0);
    raw_write(s.peer, "hi");
    size_t got = 0;
    EXPECT_TRUE(eventually([&] { return (got = xfread(buf, 1, sizeof buf, s.client)) != 0; }));
    EXPECT_EQ(got, 2u);
    EXPECT_EQ(xfclose(s.client), 1);
}

TEST_F(TcpStreams, WritingToAVanishedPeerEndsTheStreamWithoutKillingTheProcess) {
    ClientAndPeer s("TCP:127.0.0.1<block");
    ASSERT_NE(s.client, nullptr);
    s.close_peer();
    const std::string block(1000, 'z');
    int writes = 0;
    while (xfwrite(block.data(), 1, block.size(), s.client) == block.size() && writes < 1000)
        writes++;
    EXPECT_LT(writes, 1000);
    EXPECT_EQ(xeof(s.client), 1);
    EXPECT_EQ(xfclose(s.client), 1);
}

TEST_F(TcpStreams, RefusedConnectAndTakenPortFailWithoutTakingASlot) {
    TraceLog log;
    uint16_t port = 0;
    int bound = raw_bound(SOCK_STREAM, port, false);  // bound, not listening: refused
    EXPECT_EQ(xfopen("TCP:127.0.0.1<block", int(port)), nullptr);
    EXPECT_TRUE(log.has("fails to open TCP CLIENT 127.0.0.1"));
    listen(bound, 1);
    EXPECT_EQ(xfopen(("TCP-SERVER:" + std::to_string(port)).c_str(), 0), nullptr);
    EXPECT_EQ(xfopen(("TCP-PORT:" + std::to_string(port)).c_str(), echo_handler), nullptr);
    EXPECT_EQ(free_slots(), ETH_FILES);
    close(bound);
}

TEST_F(TcpStreams, ServerWithoutPortInItsNameWaitsForOneConnection) {
    // A port that was free a moment ago: the server form takes its port as the mode.
    uint16_t port = 0;
    close(raw_bound(SOCK_STREAM, port, true));
    static std::atomic<void*> opened;
    static std::atomic<int> wanted;
    opened.store(nullptr);
    wanted.store(port);
    unsigned task = exec_task_hidden(
        [](void*) { opened.store(xfopen("TCP-SERVER:<block", wanted.load())); }, nullptr, 0);
    ASSERT_NE(task, 0u);
    int peer = -1;
    EXPECT_TRUE(eventually([&] { return (peer = raw_connect(port)) >= 0; }));
    ASSERT_TRUE(eventually([] { return opened.load() != nullptr; }));
    remove_task_hidden(task);
    void* s = opened.load();
    EXPECT_STREQ(as_slot(s)->filename, "callback 1");
    raw_write(peer, "ping");
    char buf[8] = {};
    EXPECT_EQ(xfread(buf, 1, 4, s), 4u);
    EXPECT_EQ(xfwrite("pong", 1, 4, s), 4u);
    EXPECT_EQ(raw_read(peer, 4), "pong");
    EXPECT_EQ(xfclose(s), 1);
    EXPECT_EQ(raw_read(peer, 10), std::string(1, '\0'));
    close(peer);
}

TEST_F(TcpStreams, ClosingStopsServerAndHandlersBlockedInTheirWaits) {
    void* server = xfopen("TCP-SERVER: 0", echo_handler);
    ASSERT_NE(server, nullptr);
    int idle = raw_connect(port_of(server));
    ASSERT_GE(idle, 0);
    // The connection's handler now waits in xfread for bytes that never come.
    ETH_FILE* conn = nullptr;
    ASSERT_TRUE(eventually([&] {
        for (ETH_FILE& f : eth_file)
            if (f.host.load() && (f.flags.load() & XF_ACCEPTED) && f.is_a_callback.load())
                conn = &f;
        return conn != nullptr;
    }));
    EXPECT_EQ(xfclose(server), 1);  // stops the accept loop and closes the listener
    EXPECT_EQ(free_slots(), ETH_FILES - 1);
    EXPECT_EQ(raw_connect(port_of(server)), -1);

    raw_write(idle, "still here");  // the connection outlives its server
    EXPECT_EQ(raw_read(idle, 10), "still here");
    EXPECT_EQ(xfclose(conn), 1);
    EXPECT_EQ(raw_read(idle, 10), "");  // an accepted connection sends no zero byte
    close(idle);
}

TEST_F(TcpStreams, HandlerMayCloseItsOwnConnection) {
    void* server = xfopen("TCP:SERVER 0", goodbye_handler);
    ASSERT_NE(server, nullptr);
    for (int i = 0; i < 3; i++) {
        int fd = raw_connect(port_of(server));
        ASSERT_GE(fd, 0);
        EXPECT_EQ(raw_read(fd, 100), "bye");
        close(fd);
    }
    EXPECT_TRUE(eventually([] { return free_slots() == ETH_FILES - 3; }));
    EXPECT_EQ(xfclose(server), 1);
}

TEST_F(TcpStreams, ServerKeepsServingAfterTheSlotTableWasFull) {
    void* server = xfopen("TCP-SERVER:0", echo_handler);
    ASSERT_NE(server, nullptr);
    const uint16_t port = port_of(server);
    ASSERT_TRUE(eventually([] { return free_slots() == ETH_FILES - 3; }));

    // Fill the table; the server still holds one slot for its next connection.
    std::vector<void*> fillers;
    while (void* f = xfopen("UDP:127.0.0.1", 9)) fillers.push_back(f);
    EXPECT_EQ(fillers.size(), size_t(ETH_FILES - 3));
    {
        std::lock_guard<std::mutex> g(sem_find());
        int registered = 0;
        for (const HOST_TAB& e : host_tab) registered += e.host != nullptr;
        EXPECT_EQ(registered, HOST_TABS);
    }

    // Both connections are queued before the server takes the first into its last slot;
    // the second waits in the backlog until a slot is free again.
    int first = raw_connect(port);
    int second = raw_connect(port);
    raw_write(first, "one");
    raw_write(second, "two");
    EXPECT_EQ(raw_read(first, 3), "one");
    xfclose(fillers.back());
    fillers.pop_back();
    EXPECT_EQ(raw_read(second, 3), "two");

    close(first);
    close(second);
    for (void* f : fillers) EXPECT_EQ(xfclose(f), 1);
    {
        std::lock_guard<std::mutex> g(sem_find());
        for (const HOST_TAB& e : host_tab) EXPECT_EQ(e.host, nullptr);
    }
    EXPECT_TRUE(eventually([] { return free_slots() == ETH_FILES - 3; }));
    EXPECT_EQ(xfclose(server), 1);
}

using UdpStreams = LoopbackStreams;

std::atomic<int> udp_last_length{0};
std::atomic<int> udp_last_port{0};

// Answers in capitals; "big" asks for far more than the reply buffer, "none" for nothing.
int capitals_handler(const uint8_t* data, uint8_t* reply, int sub_address, int port, int length) {
    udp_last_length.store(length);
    udp_last_port.store(port);
    EXPECT_EQ(sub_address, 4);
    const std::string s(reinterpret_cast<const char*>(data), size_t(length));
    if (s == "big") {
        std::memset(reply, 'B', UDP_BUFFER_SIZE);
        return 100000;
    }
    if (s == "none") return -5;
    for (int i = 0; i < length; i++) reply[i] = uint8_t(std::toupper(data[i]));
    return length;
}

TEST_F(UdpStreams, EchoServerWithHandlerAndClampedReplies) {
    TraceLog log;
    void* server = xfopen("UDP-SERVER:0", capitals_handler);
    ASSERT_NE(server, nullptr);
    const uint16_t port = port_of(server);
    void* c = xfopen("UDP:127.0.0.1<block", int(port));
    ASSERT_NE(c, nullptr);
    EXPECT_TRUE(log.has("open  UDP CLIENT 127.0.0.1  port=" + std::to_string(port)));

    // Ten elements of four bytes are ten bytes on a datagram stream.
    const char text[41] = "abcdefghij0123456789abcdefghij0123456789";
    EXPECT_EQ(xfwrite(text, 4, 10, c), 10u);
    char buf[2000] = {};
    EXPECT_EQ(xfread(buf, 1, sizeof buf, c), 10u);
    EXPECT_EQ(std::string(buf, 10), "ABCDEFGHIJ");
    EXPECT_EQ(udp_last_length.load(), 10);
    EXPECT_EQ(udp_last_port.load(), port);

    EXPECT_EQ(xfwrite("big", 1, 3, c), 3u);
    EXPECT_EQ(xfread(buf, 1, sizeof buf, c), size_t(UDP_BUFFER_SIZE));
    EXPECT_EQ(std::string(buf, UDP_BUFFER_SIZE), std::string(UDP_BUFFER_SIZE, 'B'));

    // No reply to "none": the next datagram to arrive is the answer to "ok".
    EXPECT_EQ(xfwrite("none", 1, 4, c), 4u);
    EXPECT_EQ(xfwrite("ok", 1, 2, c), 2u);
    EXPECT_EQ(xfread(buf, 1, sizeof buf, c), 2u);
    EXPECT_EQ(std::string(buf, 2), "OK");

    // A datagram longer than the receive buffer reaches the handler cut to its size.
    const std::string large(3000, 'q');
    EXPECT_EQ(xfwrite(large.data(), 1, large.size(), c), large.size());
    EXPECT_EQ(xfread(buf, 1, sizeof buf, c), size_t(UDP_BUFFER_SIZE));
    EXPECT_EQ(udp_last_length.load(), UDP_BUFFER_SIZE);

    EXPECT_EQ(xfclose(c), 1);
    EXPECT_EQ(xeof(c), 1);
    EXPECT_EQ(xfclose(c), 0);
    EXPECT_EQ(xfclose(server), 1);
}

TEST_F(UdpStreams, ServerWithoutHandlerAnswersTheSenderOfTheLastDatagram) {
    void* server = xfopen("UDP-SERVER:0<noblock", 0);
    ASSERT_NE(server, nullptr);
    char buf[64] = {};
    EXPECT_EQ(xfwrite("early", 1, 5, server), 0u);  // nobody to answer yet
    EXPECT_EQ(xfread(buf, 1, sizeof buf, server), 0u);
    EXPECT_EQ(xeof(server), 0);

    void* c = xfopen("UDP:\\127.0.0.1<block", int(port_of(server)));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(xfwrite("question", 1, 8, c), 8u);
    size_t got = 0;
    // Only the first four bytes are asked for: the rest of the datagram is dropped.
    EXPECT_TRUE(eventually([&] { return (got = xfread(buf, 1, 4, server)) != 0; }));
    EXPECT_EQ(std::string(buf, got), "ques");
    EXPECT_EQ(xfwrite("answer", 1, 6, server), 6u);
    EXPECT_EQ(xfread(buf, 1, sizeof buf, c), 6u);
    EXPECT_EQ(std::string(buf, 6), "answer");
    EXPECT_EQ(xfclose(c), 1);
    EXPECT_EQ(xfclose(server), 1);
}

}  // namespace
