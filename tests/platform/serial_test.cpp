// The serial layer over real pseudo-terminal pairs: the test holds the master side and
// the layer opens the slave by path, exactly as it opens a device.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/display.h"
#include "platform/serial.h"
#include "platform/tasks.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

// Generous limit for transfers that take milliseconds; only a broken layer reaches it.
constexpr auto TRANSFER_LIMIT = 20s;

Bytes pattern(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    Bytes b(n);
    for (auto& x : b) x = uint8_t(gen());
    return b;
}

// The far end of a port: a pseudo-terminal master whose slave path the layer opens.
class Peer {
public:
    Peer() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) std::abort();
        path_ = ptsname(master_);
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    }
    ~Peer() { vanish(); }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    const std::string& path() const { return path_; }

    // Closes the master: the slave then reports a hang-up, as an unplugged device does.
    void vanish() {
        if (master_ >= 0) close(master_);
        master_ = -1;
    }

    // Writes all bytes, waiting while the terminal's queues are full.
    bool send(const Bytes& bytes) const {
        size_t done = 0;
        const auto end = Clock::now() + TRANSFER_LIMIT;
        while (done < bytes.size() && Clock::now() < end) {
            ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += size_t(n);
            } else {
                pollfd p{master_, POLLOUT, 0};
                poll(&p, 1, 10);
            }
        }
        return done == bytes.size();
    }

    // Reads until n bytes have arrived or the limit has passed.
    Bytes receive(size_t n, std::chrono::milliseconds limit = TRANSFER_LIMIT) const {
        Bytes got;
        const auto end = Clock::now() + limit;
        uint8_t buf[4096];
        while (got.size() < n && Clock::now() < end) {
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, 10) <= 0) continue;
            ssize_t r = read(master_, buf, std::min(sizeof buf, n - got.size()));
            if (r > 0) got.insert(got.end(), buf, buf + r);
        }
        return got;
    }

private:
    int master_ = -1;
    std::string path_;
};

// Takes n bytes from the record's receive ring, polling, or fewer when the limit passes.
Bytes take(COM* com, size_t n, std::chrono::milliseconds limit = TRANSFER_LIMIT) {
    Bytes got;
    const auto end = Clock::now() + limit;
    while (got.size() < n && Clock::now() < end) {
        int b = com_rx(com);
        if (b >= 0)
            got.push_back(uint8_t(b));
        else
            std::this_thread::sleep_for(100us);
    }
    return got;
}

int rx_waiting(const COM* com) {
    return (com->rx1.load() + COM_RING_SIZE - com->rx0.load()) % COM_RING_SIZE;
}

template <class Pred>
bool eventually(Pred pred, std::chrono::milliseconds limit = TRANSFER_LIMIT) {
    const auto end = Clock::now() + limit;
    while (!pred()) {
        if (Clock::now() >= end) return false;
        std::this_thread::sleep_for(200us);
    }
    return true;
}

int send(COM* com, const Bytes& b) { return com_txsl(com, b.data(), int(b.size())); }

class SerialTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (int n = 1; n <= COM_RECORDS; n++) {
            com_close(Com[n]);
            Com[n]->parity = 0;
            Com[n]->stops = 0;
            Com[n]->NameCom[0] = 0;
        }
    }

    // Opens record com on the peer's terminal at 115200 baud.
    void open_on(COM* com, const Peer& peer) {
        ASSERT_EQ(assign_com(com, peer.path().c_str()), 0);
        ASSERT_EQ(com_open(com, 115200), 0);
    }

    // Leaves the record with txrun set and then disabled, so that nothing re-enables it
    // and the transmit ring keeps what is queued.
    void hold_transmit_ring(COM* com, const Peer& peer) {
        ASSERT_EQ(send(com, {0x0D}), 0);
        ASSERT_EQ(peer.receive(1), Bytes{0x0D});
        ASSERT_EQ(com_disable(com), 0);
        const Bytes fill = pattern(COM_RING_SIZE - 1, 7);
        ASSERT_EQ(send(com, fill), 0);
        ASSERT_EQ(com_tx_full(com), 1);
        ASSERT_EQ(com_tx_size(com), COM_RING_SIZE - 1);
    }

    Peer peer;
};

TEST_F(SerialTest, StreamsArriveWholeAndInOrderInBothDirections) {
    open_on(&com3, peer);
    const Bytes out = pattern(100000, 1), in = pattern(100000, 2);
    Bytes at_peer;
    std::thread peer_reader([&] { at_peer = peer.receive(out.size()); });
    std::thread peer_writer([&] { EXPECT_TRUE(peer.send(in)); });
    EXPECT_EQ(send(&com3, out), 0);
    const Bytes at_host = take(&com3, in.size());
    peer_reader.join();
    peer_writer.join();
    EXPECT_TRUE(at_host == in) << "received " << at_host.size() << " of " << in.size();
    EXPECT_TRUE(at_peer == out) << "sent " << at_peer.size() << " of " << out.size();
    EXPECT_EQ(com_rx(&com3), -1);
    uint8_t sum = 0;
    for (uint8_t b : out) sum = uint8_t(sum + b);
    EXPECT_EQ(com3.txchk.load(), sum);
    EXPECT_EQ(com3.errors.load(), 0u);
}

TEST_F(SerialTest, FullTransmitRingHoldsTheNextByteUntilThePumpTakesSome) {
    open_on(&com3, peer);
    hold_transmit_ring(&com3, peer);
    std::atomic<bool> returned{false};
    std::thread writer([&] {
        EXPECT_EQ(send(&com3, {0xA5}), 0);
        returned = true;
    });
    // While the ring stays full the byte must neither be stored nor overwrite another.
    std::this_thread::sleep_for(30ms);
    EXPECT_FALSE(returned.load());
    EXPECT_EQ(com_tx_size(&com3), COM_RING_SIZE - 1);

    EXPECT_EQ(com_enable(&com3), 0);
    Bytes expect = pattern(COM_RING_SIZE - 1, 7);
    expect.push_back(0xA5);
    const Bytes got = peer.receive(expect.size());
    writer.join();
    EXPECT_TRUE(returned.load());
    EXPECT_TRUE(got == expect) << "received " << got.size() << " of " << expect.size();
}

TEST_F(SerialTest, ClosingDuringTxslDropsTheRestAndClearsTheRecord) {
    open_on(&com3, peer);
    hold_transmit_ring(&com3, peer);
    std::atomic<int> result{99};
    std::thread writer([&] { result = send(&com3, pattern(5000, 3)); });
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(com_close(&com3), 0);
    writer.join();
    EXPECT_EQ(result.load(), 0);
    EXPECT_EQ(com3.open.load(), 0);
    EXPECT_EQ(com3.hCom, -1);
    EXPECT_EQ(com3.txbuff, nullptr);
    for (auto* index : {&com3.rx0, &com3.rx1, &com3.tx0, &com3.tx1}) EXPECT_EQ(index->load(), 0);
    // Nothing queued before the close reaches the device afterwards.
    EXPECT_TRUE(peer.receive(1, 50ms).empty());
    // A closed record takes nothing and gives nothing.
    EXPECT_EQ(send(&com3, {1, 2, 3}), -1);
    EXPECT_EQ(com_rx(&com3), -1);
    EXPECT_EQ(com_rx_empty(&com3), 1);
    EXPECT_EQ(com_close(&com3), -1);
}

TEST_F(SerialTest, ATaskWaitingOnAFullRingCanBeStopped) {
    open_on(&com3, peer);
    hold_transmit_ring(&com3, peer);
    static std::atomic<bool> entered;
    entered = false;
    const unsigned task = exec_task_hidden(
        [](void*) {
            entered = true;
            const uint8_t more[16] = {};
            com_txsl(&com3, more, sizeof more);
        },
        nullptr, 0);
    ASSERT_NE(task, 0u);
    ASSERT_TRUE(eventually([] { return entered.load(); }));
    EXPECT_EQ(remove_task_hidden(task), 0);
    // The stopped writer has let go of the record: it closes, and nothing more was queued.
    EXPECT_EQ(com_tx_size(&com3), COM_RING_SIZE - 1);
    EXPECT_EQ(com_close(&com3), 0);
}

TEST_F(SerialTest, OpenRecordRefusesOpenAndRenameAndKeepsWorking) {
    EXPECT_EQ(com_rx(&com3), -1);  // fresh record
    open_on(&com3, peer);
    EXPECT_EQ(com_rx(&com3), -1);  // empty ring
    EXPECT_EQ(com_open(&com3, 115200), -1);
    EXPECT_EQ(assign_com(&com3, "COM1"), -1);
    EXPECT_EQ(std::string(com3.NameCom), peer.path());
    EXPECT_EQ(com3.open.load(), 3);

    ASSERT_TRUE(peer.send({'h', 'i'}));
    EXPECT_EQ(take(&com3, 2), (Bytes{'h', 'i'}));
    ASSERT_EQ(send(&com3, {'o', 'k'}), 0);
    EXPECT_EQ(peer.receive(2), (Bytes{'o', 'k'}));
}

TEST_F(SerialTest, AHeldPortAndRecordsWithoutPumpsDoNotOpen) {
    open_on(&com1, peer);
    ASSERT_EQ(assign_com(&com2, peer.path().c_str()), 0);
    EXPECT_EQ(com_open(&com2, 115200), -1);
    EXPECT_EQ(com2.open.load(), 0);
    EXPECT_EQ(com2.rxbuff, nullptr);
    EXPECT_EQ(com2.hCom, -1);

    // Closing gives the port up entirely: lock and exclusive mode.
    ASSERT_EQ(com_close(&com1), 0);
    ASSERT_EQ(com_open(&com2, 115200), 0);
    ASSERT_EQ(com_close(&com2), 0);

    // Another holder of the lock (as another process would be).
    int other = open(peer.path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(com_open(&com2, 115200), -1);
    close(other);
    EXPECT_EQ(com_open(&com2, 115200), 0);

    // Only the fifteen records with pump task numbers open; the port stays free.
    ASSERT_EQ(com_close(&com2), 0);
    ASSERT_EQ(assign_com(&com4, peer.path().c_str()), 0);
    EXPECT_EQ(com_open(&com4, 115200), -1);  // its pumps would be tasks 32 and 33
    EXPECT_EQ(com4.open.load(), 0);
    COM stray;
    ASSERT_EQ(assign_com(&stray, peer.path().c_str()), 0);
    EXPECT_EQ(com_open(&stray, 115200), -1);
    EXPECT_EQ(com_open(nullptr, 115200), -1);
    EXPECT_EQ(com_close(nullptr), -1);
    EXPECT_EQ(com_open(&com2, 115200), 0);
}

TEST_F(SerialTest, UnreadBytesBeyondTheRingAreNeitherLostNorReordered) {
    open_on(&com3, peer);
    const Bytes in = pattern(3 * COM_RING_SIZE + 1234, 4);
    std::thread writer([&] { EXPECT_TRUE(peer.send(in)); });
    EXPECT_TRUE(eventually([] { return rx_waiting(&com3) == COM_RING_SIZE - 1; }));
    const Bytes got = take(&com3, in.size());
    writer.join();
    EXPECT_TRUE(got == in) << "received " << got.size() << " of " << in.size();
}

TEST_F(SerialTest, ProtocolModeDiscardsWhatWasReceivedAndHoldsWhatArrivesWhileDisabled) {
    open_on(&com3, peer);
    ASSERT_TRUE(peer.send({1, 2, 3}));
    ASSERT_TRUE(eventually([] { return rx_waiting(&com3) == 3; }));
    ASSERT_EQ(protocol_mode(&com3, 0), 0);
    EXPECT_EQ(com_rx_empty(&com3), 1);
    EXPECT_EQ(com3.enabled.load(), 0);

    ASSERT_TRUE(peer.send({4, 5, 6}));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(com_rx_empty(&com3), 1) << "a disabled record moved bytes";
    // The first send enables the record again and the held bytes come through.
    ASSERT_EQ(send(&com3, {0x0D}), 0);
    EXPECT_EQ(peer.receive(1), Bytes{0x0D});
    EXPECT_EQ(take(&com3, 3), (Bytes{4, 5, 6}));

    EXPECT_EQ(protocol_mode(&com1, 0), -1);  // a closed record cannot be disabled
}

TEST_F(SerialTest, LineSettingsAreAppliedAndTheOldOnesRestored) {
    int watch = open(peer.path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(watch, 0);
    termios before{}, during{}, after{};
    ASSERT_EQ(tcgetattr(watch, &before), 0);
    ASSERT_TRUE(before.c_lflag & ICANON);
    ASSERT_EQ(assign_com(&com3, peer.path().c_str()), 0);
    EXPECT_EQ(com_open(&com3, 12345), -1);  // not a standard rate
    // A pseudo-terminal drops PARENB; the settings asked for are in the record.
    const tcflag_t parity_bits[] = {0, PARENB, PARENB | PARODD, PARENB | PARODD | CMSPAR,
                                    PARENB | CMSPAR};
    for (uint8_t parity = 0; parity < 5; parity++) {
        SCOPED_TRACE(int(parity));
        com3.parity = parity;
        com3.stops = parity == 2;
        ASSERT_EQ(com_open(&com3, parity == 2 ? 300 : 115200), 0);
        ASSERT_EQ(tcgetattr(watch, &during), 0);
        EXPECT_EQ(com3.dcb.c_cflag & (PARENB | PARODD | CMSPAR), parity_bits[parity]);
        EXPECT_EQ(bool(during.c_cflag & CSTOPB), parity == 2);
        EXPECT_EQ(cfgetospeed(&during), speed_t(parity == 2 ? B300 : B115200));
        EXPECT_EQ(cfgetispeed(&during), cfgetospeed(&during));
        EXPECT_EQ(during.c_cflag & (CSIZE | CLOCAL | CREAD | CRTSCTS), tcflag_t(CS8 | CLOCAL | CREAD));
        EXPECT_FALSE((during.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP)) ||
                     (during.c_lflag & (ICANON | ECHO | ISIG)) || (during.c_oflag & OPOST));
        EXPECT_EQ(during.c_cc[VMIN] + during.c_cc[VTIME], 0);
        ASSERT_EQ(com_close(&com3), 0);
    }
    ASSERT_EQ(tcgetattr(watch, &after), 0);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_cflag, before.c_cflag);
    close(watch);
}

TEST_F(SerialTest, PortNamesResolveThroughThePortsFolder) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("serial_test." + std::to_string(getpid()));
    fs::create_directories(dir / "ports");
    fs::create_symlink(peer.path(), dir / "ports" / "COM7");
    // ports/ is looked up in the program's directory.
    char saved[sizeof MyDir];
    std::memcpy(saved, MyDir, sizeof MyDir);
    std::snprintf(MyDir, sizeof MyDir, "%s", dir.c_str());
    ASSERT_EQ(assign_com(&com3, "COM7"), 0);
    const int opened = com_open(&com3, 115200);
    std::memcpy(MyDir, saved, sizeof MyDir);
    fs::remove_all(dir);
    ASSERT_EQ(opened, 0);
    ASSERT_TRUE(peer.send({'x'}));
    EXPECT_EQ(take(&com3, 1), Bytes{'x'});
    ASSERT_EQ(com_close(&com3), 0);

    ASSERT_EQ(assign_com(&com3, "/dev/a/name/longer/than/fifteen"), 0);
    EXPECT_EQ(std::string(com3.NameCom), "/dev/a/name/lon");
}

TEST_F(SerialTest, AVanishedPeerLeavesTheProcessIdle) {
    open_on(&com3, peer);
    peer.vanish();
    ASSERT_TRUE(eventually([] { return com3.errors.load() > 0; }));
    // Bytes for a vanished device are dropped instead of blocking the writer for ever.
    EXPECT_EQ(send(&com3, pattern(2 * COM_RING_SIZE, 5)), 0);
    EXPECT_TRUE(eventually([] { return com_tx_empty(&com3) == 1; }));

    auto cpu_seconds = [] {
        rusage u{};
        getrusage(RUSAGE_SELF, &u);
        return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
               double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
    };
    const double cpu0 = cpu_seconds();
    const auto wall0 = Clock::now();
    std::this_thread::sleep_for(2s);
    const double cpu = cpu_seconds() - cpu0;
    const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
    EXPECT_LT(cpu, 0.05 * wall) << "CPU " << cpu << " s over " << wall << " s";
    EXPECT_EQ(com_close(&com3), 0);
}

}  // namespace
