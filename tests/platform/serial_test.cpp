// The serial layer over real pseudo-terminal pairs: the test holds the master side and
// the layer opens the slave by path, exactly as it opens a device.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "platform/serial.h"
#include "platform/tasks.h"
#include "support/eventually.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;
constexpr auto LIMIT = std::chrono::seconds(20);  // only a broken layer reaches it

Bytes pattern(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    Bytes b(n);
    for (auto& x : b) x = uint8_t(gen());
    return b;
}

// The far end of a port: a pseudo-terminal master whose slave path the layer opens.
struct Peer {
    int fd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    std::string path = slave_path(fd);
    ~Peer() { vanish(); }
    void vanish() {  // the slave then hangs up, as an unplugged device does
        close(fd);
        fd = -1;
    }
    static std::string slave_path(int master) {
        grantpt(master);
        unlockpt(master);
        return ptsname(master);
    }
    // Writes or reads n bytes while the terminal has room or bytes, until the limit passes.
    size_t transfer(uint8_t* buf, size_t n, bool writing, std::chrono::milliseconds limit) const {
        size_t done = 0;
        for (const auto end = Clock::now() + limit; done < n && Clock::now() < end;) {
            pollfd p{fd, short(writing ? POLLOUT : POLLIN), 0};
            if (poll(&p, 1, 10) <= 0) continue;
            const ssize_t r = writing ? write(fd, buf + done, n - done) : read(fd, buf + done, n - done);
            done += size_t(std::max<ssize_t>(0, r));
        }
        return done;
    }
    bool send(Bytes b) const { return transfer(b.data(), b.size(), true, LIMIT) == b.size(); }
    Bytes receive(size_t n, std::chrono::milliseconds limit = LIMIT) const {
        Bytes got(n);
        got.resize(transfer(got.data(), n, false, limit));
        return got;
    }
};

// Takes n bytes from the record's receive ring, or fewer when none come for a while.
Bytes take(COM* com, size_t n) {
    Bytes got;
    while (got.size() < n && com_rx_wait_for(com, 1, 20000) == 1) got.push_back(uint8_t(com_rx(com)));
    return got;
}

int rx_waiting(const COM* com) { return (com->rx1.load() + COM_RING_SIZE - com->rx0.load()) % COM_RING_SIZE; }
int send(COM* com, const Bytes& b) { return com_txsl(com, b.data(), int(b.size())); }

class SerialTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (int n = 1; n <= COM_RECORDS; n++) {
            com_close(Com[n]);
            Com[n]->parity = Com[n]->stops = 0;
            Com[n]->NameCom[0] = 0;
        }
    }
    void open_on(COM* com, int baud = 115200) {
        ASSERT_EQ(assign_com(com, peer.path.c_str()), 0);
        ASSERT_EQ(com_open(com, baud), 0);
    }
    Peer peer;
};

TEST_F(SerialTest, BytesArriveWholeAndInOrderBothWaysAndAreDroppedForAVanishedDevice) {
    open_on(&com3);
    const Bytes out = pattern(100000, 1), in = pattern(3 * COM_RING_SIZE + 1234, 2);
    Bytes at_peer;
    std::thread peer_reader([&] { at_peer = peer.receive(out.size()); });
    std::thread peer_writer([&] { EXPECT_TRUE(peer.send(in)); });
    EXPECT_EQ(send(&com3, out), 0);
    // Nothing is read until the receive ring is full: the rest must wait, not overwrite.
    EXPECT_TRUE(eventually([] { return rx_waiting(&com3) == COM_RING_SIZE - 1; }));
    const Bytes at_host = take(&com3, in.size());
    peer_reader.join();
    peer_writer.join();
    EXPECT_TRUE(at_host == in) << "received " << at_host.size() << " of " << in.size();
    EXPECT_TRUE(at_peer == out) << "sent " << at_peer.size() << " of " << out.size();
    uint8_t sum = 0;
    for (uint8_t b : out) sum = uint8_t(sum + b);
    EXPECT_EQ(std::tuple(com_rx(&com3), com3.txchk.load(), com3.errors.load()), std::tuple(-1, sum, 0u));
    peer.vanish();
    ASSERT_TRUE(eventually([] { return com3.errors.load() > 0; }));
    EXPECT_EQ(send(&com3, pattern(2 * COM_RING_SIZE, 5)), 0);
    EXPECT_TRUE(eventually([] { return com_tx_empty(&com3) == 1; }));
}

TEST_F(SerialTest, AWriterWaitingOnAFullTransmitRingCanBeStoppedAndOverwritesNothing) {
    open_on(&com3);
    ASSERT_EQ(send(&com3, {0x0D}), 0);
    ASSERT_EQ(peer.receive(1), Bytes{0x0D});
    // Disabled once idle, the port sends nothing of what is queued.
    ASSERT_TRUE(eventually([] { return com_tx_empty(&com3) == 1; }));
    ASSERT_EQ(com_disable(&com3), 0);
    const Bytes queued = pattern(COM_RING_SIZE - 1, 7);
    ASSERT_EQ(send(&com3, queued), 0);
    // A task waiting on the full ring can be stopped; it has let go and queued nothing.
    static std::atomic<bool> entered;
    entered = false;
    const unsigned task = exec_task_hidden([](void*) {
        entered = true;
        send(&com3, Bytes(16));
    }, nullptr, 0);
    ASSERT_TRUE(task != 0 && eventually([] { return entered.load() && com3.users.load() > 0; }));
    EXPECT_EQ(remove_task_hidden(task), 0);
    EXPECT_EQ((std::tuple{com3.users.load(), com_tx_size(&com3), com_enable(&com3)}),
              std::tuple(0, COM_RING_SIZE - 1, 0));
    // The next byte waits for room, then follows the queued ones.
    ASSERT_EQ(send(&com3, {0xA5}), 0);
    Bytes expect = queued;
    expect.push_back(0xA5);
    const Bytes got = peer.receive(expect.size());
    EXPECT_TRUE(got == expect) << "received " << got.size();
}

TEST_F(SerialTest, WhatOpensAndWhatDoesNot) {
    EXPECT_EQ(com_rx(&com3), -1);  // fresh record
    open_on(&com3);
    EXPECT_EQ(std::tuple(com_rx(&com3), com_open(&com3, 115200), assign_com(&com3, "COM1")), std::tuple(-1, -1, -1));
    // A port held by another record does not open, and the refused record stays clear.
    ASSERT_EQ(assign_com(&com2, peer.path.c_str()), 0);
    EXPECT_EQ((std::tuple{com_open(&com2, 115200), com2.open.load(), com2.rxbuff, com2.hCom}),
              std::tuple(-1, 0, nullptr, -1));
    // Closing gives the port up entirely, so that only another holder of the lock keeps it.
    ASSERT_EQ(com_close(&com3), 0);
    const int other = open(peer.path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(com_open(&com2, 115200), -1);
    close(other);
    // Only the fifteen records with pump task numbers open (com4's would be tasks 32 and 33).
    COM stray;
    ASSERT_EQ(assign_com(&com4, peer.path.c_str()) + assign_com(&stray, peer.path.c_str()), 0);
    EXPECT_EQ(com_open(&com4, 115200) + com_open(&stray, 115200) + com_open(nullptr, 115200) + com_close(nullptr), -4);
    EXPECT_EQ((std::tuple{com_open(&com2, 115200), com_open(&com3, 12345)}), std::tuple(0, -1));  // 12345: not a rate
    ASSERT_EQ(assign_com(&com3, "/dev/a/name/longer/than/fifteen"), 0);
    EXPECT_EQ(std::string(com3.NameCom), "/dev/a/name/lon");
}

// The receive wait returns 1 once the ring holds the bytes asked for, however they arrive,
// and 0 at its timeout with fewer, or when the record is closed while it waits. Its own
// timeout is a minute: a wake-up that never comes shows as a wait still running.
TEST_F(SerialTest, TheReceiveWaitEndsWithTheBytesAskedForAtACloseOrAtItsTimeout) {
    open_on(&com3);
    std::atomic<int> result{-1};
    std::jthread reader([&] { result = com_rx_wait_for(&com3, 300, 60000); });
    for (int stored : {100, 200, 300}) {
        EXPECT_EQ(result.load(), -1) << "returned with " << stored - 100 << " bytes";
        ASSERT_TRUE(peer.send(pattern(100, unsigned(stored))));
        ASSERT_TRUE(eventually([&] { return rx_waiting(&com3) == stored; }));
    }
    EXPECT_TRUE(eventually([&] { return result.load() == 1; }));
    reader.join();
    EXPECT_EQ(com_rx_wait_for(&com3, 301, 20), 0);
    result = -1;
    reader = std::jthread([&] { result = com_rx_wait_for(&com3, 400, 60000); });
    ASSERT_TRUE(peer.send(pattern(50, 4)));
    ASSERT_TRUE(eventually([&] { return rx_waiting(&com3) == 350; }));
    EXPECT_EQ(result.load(), -1);
    EXPECT_EQ(com_close(&com3), 0);
    EXPECT_TRUE(eventually([&] { return result.load() == 0; })) << "the close did not end the wait";
}

// Raw mode itself shows in the bytes that arrive whole both ways.
TEST_F(SerialTest, LineSettingsAreApplied) {
    const int watch = open(peer.path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    // A pseudo-terminal drops PARENB; the settings asked for are in the record.
    const tcflag_t parity_bits[] = {0, PARENB, PARENB | PARODD, PARENB | PARODD | CMSPAR, PARENB | CMSPAR};
    for (uint8_t parity = 0; parity < 5; parity++) {
        com3.parity = parity;
        com3.stops = parity == 2;
        const speed_t speed = parity == 2 ? B300 : B115200;
        open_on(&com3, parity == 2 ? 300 : 115200);
        termios t{};
        tcgetattr(watch, &t);
        EXPECT_EQ(std::tuple(com3.dcb.c_cflag & (PARENB | PARODD | CMSPAR), bool(t.c_cflag & CSTOPB),
                             cfgetospeed(&t), cfgetispeed(&t), t.c_cflag & (CSIZE | CLOCAL | CREAD | CRTSCTS)),
                  std::tuple(parity_bits[parity], parity == 2, speed, speed, tcflag_t(CS8 | CLOCAL | CREAD)))
            << int(parity);
        ASSERT_EQ(com_close(&com3), 0);
    }
    close(watch);
}

}  // namespace
