// Stream names, plain files, and TCP and UDP streams over loopback: echo servers with
// handler tasks, the end-of-stream rules, the slot table under load, and servers that are
// closed while they wait.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/scratch.h"
#include "platform/streams.h"
#include "support/eventually.h"

namespace {

namespace fs = std::filesystem;

int free_slots() {
    int n = 0;
    for (const ETH_FILE& f : eth_file) n += f.host.load() == nullptr;
    return n;
}

// Waits until exactly `taken` slots are in use.
bool slots_taken(int taken) {
    return eventually([=] { return free_slots() == ETH_FILES - taken; });
}

// A plain socket bound to 127.0.0.1 on a port the system chooses; listening for TCP.
int raw_bound(int type, uint16_t& port, bool listening) {
    int fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
    sockaddr_in a{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t len = sizeof a;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0 || (listening && listen(fd, 8) != 0))
        std::abort();
    port = ntohs(a.sin_port);
    return fd;
}

// Reads and writes of plain sockets give up after 10 s instead of hanging.
int with_timeouts(int fd) {
    timeval tv{10, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    return fd;
}

// A blocking TCP connection to 127.0.0.1:port; -1 when refused.
int raw_connect(uint16_t port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return with_timeouts(fd);
    close(fd);
    return -1;
}

// Reads until n bytes arrived, the peer closed or the timeout passed.
std::string raw_read(int fd, size_t n) {
    std::string s;
    char buf[4096];
    for (ssize_t r; s.size() < n && (r = recv(fd, buf, std::min(sizeof buf, n - s.size()), 0)) > 0;)
        s.append(buf, size_t(r));
    return s;
}

void raw_write(int fd, const std::string& s) {
    ASSERT_EQ(send(fd, s.data(), s.size(), MSG_NOSIGNAL), ssize_t(s.size()));
}

// Every stream test binds to loopback only and must leave the slot table as it found it.
// A test still running after a minute ends the program (SIGALRM): a stream that never
// returns is a failure, not a stuck run.
class Streams : public ::testing::Test {
protected:
    void SetUp() override {
        alarm(60);
        xf_bind_address.store(INADDR_LOOPBACK);
        ASSERT_EQ(free_slots(), ETH_FILES) << "an earlier test left streams open";
    }
    void TearDown() override {
        EXPECT_TRUE(slots_taken(0)) << ETH_FILES - free_slots() << " slots still taken";
        alarm(0);
    }
};

TEST(StreamNames, MarkersAtTheStartPickTheKindAndTheNamePart) {
    const struct {
        const char* name;
        uint32_t kind;
        const char* part;
        int block, port;
    } cases[] = {
        {"TCP:SERVER 502", XF_TCP_SERVER, "502", -1, 502},    {"UDP:SERVER\t9<noblock", XF_UDP_SERVER, "9", 0, 9},
        {"TCP:/127.0.0.1<block", XF_TCP_CLIENT, "127.0.0.1", 1, -1}, {"TCP:\\plc-7<noblock", XF_TCP_CLIENT, "plc-7", 0, -1},
        {"TCP://x", XF_TCP_CLIENT, "/x", -1, -1},  // only one slash is skipped
        {"UDP:10.1.2.3", XF_UDP_CLIENT, "10.1.2.3", -1, -1},  {"TCP-PORT:  80 ", XF_TCP_SERVER, "80 ", -1, 80},
        {"UDP-PORT:0", XF_UDP_SERVER, "0", -1, 0},            {"TCP_PORT:65535", XF_TCP_SERVER, "65535", -1, 65535},
        {"UDP_PORT:7<block", XF_UDP_SERVER, "7", 1, 7},       {"TCP-SERVER:", XF_TCP_SERVER, "", -1, -1},
        {"UDP-SERVER:1234<noblock", XF_UDP_SERVER, "1234", 0, 1234}, {"TCP-SERVER:65536", XF_TCP_SERVER, "65536", -1, -2},
        {"TCP-SERVER:12ab", XF_TCP_SERVER, "12ab", -1, -2},   {"TCP-SERVER:-1", XF_TCP_SERVER, "-1", -1, -2},
        {"TCP-SERVER:99999999999999999999999", XF_TCP_SERVER, "99999999999999999999999", -1, -2},
        {"data/TCP:x", XF_FILE, "data/TCP:x", -1, -1},        {"tcp:host", XF_FILE, "tcp:host", -1, -1},
        {" TCP:host", XF_FILE, " TCP:host", -1, -1},          {"vna.cal<block", XF_FILE, "vna.cal<block", -1, -1}};
    for (const auto& c : cases) {
        const XF_NAME n = xf_parse_name(c.name);
        EXPECT_EQ(std::tuple(n.kind, std::string(n.name), n.block, n.port),
                  std::tuple(c.kind, std::string(c.part), c.block, c.port)) << c.name;
    }
    EXPECT_STREQ(xf_parse_name(nullptr).name, "");
    // Long names are cut; a suffix beyond the cut still counts.
    const std::string host(1000, 'h');
    XF_NAME n = xf_parse_name(("TCP:" + host + "<block").c_str());
    EXPECT_EQ(std::string(n.name), host.substr(0, XF_NAME_SIZE - 1));
    EXPECT_EQ(n.block, 1);
    EXPECT_EQ(xf_parse_name(("TCP-SERVER:" + std::string(400, ' ') + "502").c_str()).port, 502);
    EXPECT_EQ(std::strlen(xf_parse_name(std::string(5000, 'f').c_str()).name), size_t(XF_NAME_SIZE - 1));
}

// Writes the values through the stream layer and reads them back.
void round_trip(const std::string& path, const std::vector<float>& values) {
    void* out = xfopen(path.c_str(), "wb");
    EXPECT_EQ(xfwrite(values.data(), sizeof(float), values.size(), out), values.size());
    EXPECT_EQ(xfclose(out), 0);
    void* in = xfopen(path.c_str(), "rb");
    std::vector<float> back(values.size() + 3);
    back.resize(xfread(back.data(), sizeof(float), back.size(), in));
    EXPECT_EQ(back, values) << path;
    EXPECT_EQ(xeof(in), 1);
    EXPECT_EQ(xfclose(in), 0);
}

TEST_F(Streams, FilesRoundTripWhateverTheirNameLooksLikeAndWrongArgumentsAreRefused) {
    const ScratchDir t("corvane_streams");
    std::vector<float> values(2001 * 2);
    for (size_t i = 0; i < values.size(); i++) values[i] = float(i) * 0.25f - 100.0f;
    round_trip(t("vna.cal"), values);
    round_trip(t("TCP:SERVER 502"), {7.0f});  // a marker inside a path
    EXPECT_EQ(xfopen(t("missing.cal").c_str(), "rb"), nullptr);
    char b[4];
    EXPECT_EQ(xfread(b, 1, 4, nullptr) + xfwrite(b, 1, 4, nullptr) + xfclose(nullptr) + xeof(nullptr), 0u);
    EXPECT_EQ(xfopen(t("x.bin").c_str(), 5), nullptr);  // a file needs a mode string
    EXPECT_EQ(xfopen(t("x.bin").c_str(), static_cast<const char*>(nullptr)), nullptr);
    EXPECT_FALSE(fs::exists(t("x.bin")));
    EXPECT_EQ(xfopen("TCP:127.0.0.1", "rb"), nullptr);  // a client needs a port
    // Ports out of range, UDP to a name instead of a dotted address, no host at all, a
    // port both in the name and as mode, a port that is not a number.
    const std::pair<const char*, int> refused[] = {
        {"TCP:127.0.0.1", 0}, {"TCP:127.0.0.1", 70000}, {"UDP:127.0.0.1", -1}, {"UDP:localhost", 9},
        {"TCP:", 9},          {"TCP-SERVER:0", 5},      {"TCP-SERVER:x1", 0},  {"UDP-SERVER:70000", 0},
        {"UDP-SERVER:0", 3},  {"TCP-SERVER:", 70000}};
    for (auto [name, mode] : refused) EXPECT_EQ(xfopen(name, mode), nullptr) << name << " " << mode;
}

ETH_FILE* as_slot(void* h) { return static_cast<ETH_FILE*>(h); }
uint16_t port_of(void* server) { return uint16_t(as_slot(server)->port.load()); }

// Echoes everything until the peer ends the connection.
void echo_handler(void* stream) {
    char buf[1000];
    for (size_t n; (n = xfread(buf, 1, sizeof buf, stream)) != 0 && xfwrite(buf, 1, n, stream) == n;) {
    }
}

// A blocking stream client that writes data and reads the echo of all of it.
bool echo_client(uint16_t port, const std::string& data) {
    void* c = xfopen("TCP:/127.0.0.1<block", int(port));
    std::string back;
    std::vector<char> buf(4096);
    for (size_t sent = 0, got = 1; c && back.size() < data.size() && got != 0;) {
        const size_t n = std::min<size_t>(3000, data.size() - sent);
        if (n && xfwrite(data.data() + sent, 1, n, c) != n) break;
        sent += n;
        got = xfread(buf.data(), 1, buf.size(), c);
        back.append(buf.data(), got);
    }
    const bool good = back == data && xeof(c) == 0;
    xfclose(c);
    return good;
}

TEST_F(Streams, TcpEchoServerServesConcurrentClientsAndClosesCleanly) {
    void* server = xfopen("TCP-SERVER:0", echo_handler);
    ASSERT_NE(server, nullptr);
    std::atomic<int> good{0};
    std::vector<std::thread> clients;
    for (unsigned i = 0; i < 3; i++)
        clients.emplace_back([&, i] {
            std::mt19937 gen(i);
            std::string data(50000 + i * 7, 0);
            for (char& ch : data) ch = char(gen());
            good += echo_client(port_of(server), data);
        });
    for (auto& t : clients) t.join();
    EXPECT_EQ(good.load(), 3);
    // Connections end by themselves; the server keeps its own slot, its listening stream
    // and the slot it holds for the next connection.
    EXPECT_TRUE(slots_taken(3));
    EXPECT_EQ(xfclose(server), 1);
    EXPECT_EQ(xfclose(server), 0);
}

TEST_F(Streams, TcpClientEndOfStreamRules) {
    uint16_t port = 0;
    const int listener = raw_bound(SOCK_STREAM, port, true);
    // A stream client of the listener and the plain socket that plays its far end.
    auto connect = [&](const char* name, int& peer) {
        void* client = xfopen(name, int(port));
        peer = client ? with_timeouts(accept(listener, nullptr, nullptr)) : -1;
        return client;
    };
    int peer = -1;
    void* c = connect("TCP:localhost<block", peer);
    ASSERT_NE(c, nullptr);
    EXPECT_STREQ(as_slot(c)->filename, "localhost");
    raw_write(peer, "abc");
    char buf[16] = {};
    EXPECT_EQ(xfread(buf, 1, sizeof buf, c), 3u);
    EXPECT_STREQ(buf, "abc");
    EXPECT_EQ(xfclose(c), 1);
    EXPECT_EQ(raw_read(peer, 10), std::string(1, '\0'));  // the zero byte, then the end
    close(peer);

    // The peer closes: the stream ends.
    c = connect("TCP:127.0.0.1<block", peer);
    close(peer);
    EXPECT_EQ(xfread(buf, 1, sizeof buf, c), 0u);
    EXPECT_EQ(xeof(c), 1);
    EXPECT_EQ(xfclose(c), 1);

    // A non-blocking client with nothing to read is not at its end.
    c = connect("TCP:127.0.0.1", peer);
    EXPECT_EQ(xfread(buf, 1, sizeof buf, c), 0u);
    EXPECT_EQ(xeof(c), 0);
    EXPECT_EQ(xfclose(c), 1);
    close(peer);

    // Writing to a vanished peer ends the stream without killing the process (SIGPIPE).
    c = connect("TCP:127.0.0.1<block", peer);
    close(peer);
    const std::string block(1000, 'z');
    int writes = 0;
    while (writes < 1000 && xfwrite(block.data(), 1, block.size(), c) == block.size()) writes++;
    EXPECT_LT(writes, 1000);
    EXPECT_EQ(xeof(c), 1);
    EXPECT_EQ(xfclose(c), 1);
    // A refused connection and a taken port take no slot.
    close(listener);
    EXPECT_EQ(xfopen("TCP:127.0.0.1<block", int(port)), nullptr);
    const int bound = raw_bound(SOCK_STREAM, port, true);
    EXPECT_EQ(xfopen(("TCP-PORT:" + std::to_string(port)).c_str(), echo_handler), nullptr);
    close(bound);
}

TEST_F(Streams, TcpClosingStopsServerAndHandlersBlockedInTheirWaits) {
    void* server = xfopen("TCP-SERVER: 0", echo_handler);
    ASSERT_NE(server, nullptr);
    int idle = raw_connect(port_of(server));
    // The connection's handler now waits in xfread for bytes that never come.
    ETH_FILE* conn = nullptr;
    ASSERT_TRUE(eventually([&] {
        for (ETH_FILE& f : eth_file)
            if (f.host.load() && (f.flags.load() & XF_ACCEPTED) && f.is_a_callback.load()) conn = &f;
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

int registered_hosts() {
    std::lock_guard<std::mutex> g(sem_find());
    int registered = 0;
    for (const HOST_TAB& e : host_tab) registered += e.host != nullptr;
    return registered;
}

// Says goodbye and closes its own connection.
void goodbye_handler(void* stream) {
    xfwrite("bye", 1, 3, stream);
    EXPECT_EQ(xfclose(stream), 1);
}

TEST_F(Streams, TcpServerKeepsServingAfterTheSlotTableWasFull) {
    void* server = xfopen("TCP:SERVER 0", goodbye_handler);
    ASSERT_NE(server, nullptr);
    ASSERT_TRUE(slots_taken(3));
    // Fill the table; the server still holds one slot for its next connection.
    std::vector<void*> fillers;
    while (void* f = xfopen("UDP:127.0.0.1", 9)) fillers.push_back(f);
    EXPECT_EQ(fillers.size(), size_t(ETH_FILES - 3));
    EXPECT_EQ(registered_hosts(), HOST_TABS);
    // Both connections are queued before the server takes the first into its last slot;
    // the second waits in the backlog until the handler has closed the first.
    int first = raw_connect(port_of(server)), second = raw_connect(port_of(server));
    EXPECT_EQ(raw_read(first, 3), "bye");
    EXPECT_EQ(raw_read(second, 3), "bye");
    close(first);
    close(second);
    for (void* f : fillers) EXPECT_EQ(xfclose(f), 1);
    EXPECT_EQ(registered_hosts(), 0);
    EXPECT_TRUE(slots_taken(3));
    EXPECT_EQ(xfclose(server), 1);
}

std::atomic<int> udp_last_length{0};

// Answers in capitals; "big" asks for far more than the reply buffer, "none" for nothing.
int capitals_handler(const uint8_t* data, uint8_t* reply, int sub_address, int, int length) {
    udp_last_length.store(length);
    EXPECT_EQ(sub_address, 4);
    const std::string s(reinterpret_cast<const char*>(data), size_t(length));
    if (s == "big") return std::memset(reply, 'B', UDP_BUFFER_SIZE), 100000;
    if (s == "none") return -5;
    for (int i = 0; i < length; i++) reply[i] = uint8_t(std::toupper(data[i]));
    return length;
}

TEST_F(Streams, UdpServerWithHandlerClampsRepliesAndDatagrams) {
    void* server = xfopen("UDP-SERVER:0", capitals_handler);
    void* c = xfopen("UDP:127.0.0.1<block", int(port_of(server)));
    ASSERT_NE(c, nullptr);
    // Sends text and returns the reply that comes back.
    auto ask = [&c](const std::string& text, size_t size = 1) {
        EXPECT_EQ(xfwrite(text.data(), size, text.size() / size, c), text.size() / size);
        std::string buf(2000, '\0');
        buf.resize(xfread(buf.data(), 1, buf.size(), c));
        return buf;
    };
    // Ten elements of four bytes are ten bytes on a datagram stream.
    EXPECT_EQ(ask("abcdefghij0123456789abcdefghij0123456789", 4), "ABCDEFGHIJ");
    EXPECT_EQ(udp_last_length.load(), 10);
    EXPECT_EQ(ask("big"), std::string(UDP_BUFFER_SIZE, 'B'));
    // No reply to "none": the next datagram to arrive is the answer to "ok".
    EXPECT_EQ(xfwrite("none", 1, 4, c), 4u);
    EXPECT_EQ(ask("ok"), "OK");
    // A datagram longer than the receive buffer reaches the handler cut to its size.
    EXPECT_EQ(ask(std::string(3000, 'q')).size(), size_t(UDP_BUFFER_SIZE));
    EXPECT_EQ(udp_last_length.load(), UDP_BUFFER_SIZE);
    EXPECT_EQ(xfclose(c) + xeof(c), 2);
    EXPECT_EQ(xfclose(c), 0);
    EXPECT_EQ(xfclose(server), 1);
}

}  // namespace
