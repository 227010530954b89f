// Waiting for a whole answer: a reader that needs N bytes is woken when the receive ring
// holds them, however they arrive, and at once by a close or a stop request. The port is a
// pseudo-terminal whose master side the test writes; nothing here depends on how fast the
// threads run (a lost wake-up shows as a wait that returns 0 at its long timeout).
#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

#include "core_harness.h"
#include "support/manual_clock.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr int LONG_MS = 60000;  // reached only by a wait that nobody woke

int rx_used(const COM* com) {
    return (com->rx1.load() + COM_RING_SIZE - com->rx0.load()) % COM_RING_SIZE;
}

class ReadBatch : public ::testing::Test {
protected:
    void SetUp() override {
        char name[64];
        ASSERT_EQ(openpty(&master_, &slave_, name, nullptr, nullptr), 0);
        ASSERT_EQ(assign_com(vna_com, name), 0);
        ASSERT_EQ(com_open(vna_com, 115200), 0);
    }
    void TearDown() override {
        com_close(vna_com);
        vna_com->NameCom[0] = 0;
        ::close(master_);
        ::close(slave_);
    }
    // Writes the bytes and returns once the receive pump has stored them in the ring (a
    // reader may have taken them already).
    void feed(const Bytes& b) {
        const int before = vna_com->rx1.load();
        ASSERT_EQ(::write(master_, b.data(), b.size()), ssize_t(b.size()));
        ASSERT_TRUE(eventually([&] {
            return (vna_com->rx1.load() + COM_RING_SIZE - before) % COM_RING_SIZE >= int(b.size());
        }));
    }
    static Bytes counting(size_t from, size_t n) {
        Bytes b(n);
        for (size_t i = 0; i < n; i++) b[i] = uint8_t(from + i);
        return b;
    }
    int master_ = -1, slave_ = -1;
};

// The reader runs in a thread of its own; `done` is set when its wait returned.
struct Waiter {
    std::atomic<bool> done{false};
    std::atomic<int> result{-1}, ring{-1};
    std::thread thread;
    Waiter(int need, int timeout_ms) {
        thread = std::thread([this, need, timeout_ms] {
            result = com_rx_wait_for(vna_com, need, timeout_ms);
            ring = rx_used(vna_com);
            done = true;
        });
    }
    ~Waiter() { thread.join(); }
};

TEST_F(ReadBatch, AWaitEndsWhenTheRingHoldsWhatItNeeds) {
    struct Case {
        const char* what;
        int need;
        std::vector<size_t> pieces;  // each stored before the next is written
        int timeout_ms;
        int result;
    } cases[] = {
        {"a batch in pieces", 256, {1, 40, 100, 115}, LONG_MS, 1},
        {"more than needed at once", 5, {12}, LONG_MS, 1},
        {"the last byte completes it", 3, {2, 1}, LONG_MS, 1},
        {"time runs out short of it", 10, {4}, 30, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vna_flush_rx();
        Waiter w(c.need, c.timeout_ms);
        size_t sent = 0;
        for (size_t piece : c.pieces) {
            // Fewer bytes than needed never end a long wait.
            if (c.timeout_ms == LONG_MS) {
                EXPECT_FALSE(w.done.load()) << "woken after " << sent;
            }
            feed(counting(sent, piece));
            sent += piece;
        }
        ASSERT_TRUE(eventually([&] { return w.done.load(); }));
        EXPECT_EQ(w.result.load(), c.result);
        if (c.result == 1) {
            EXPECT_GE(w.ring.load(), c.need);
        }
    }
    // A ring that already holds enough is no wait at all; a closed record returns 0.
    EXPECT_EQ(com_rx_wait_for(vna_com, 4, LONG_MS), 1);
    com_close(vna_com);
    EXPECT_EQ(com_rx_wait_for(vna_com, 1, LONG_MS), 0);
}

TEST_F(ReadBatch, ManyShortWaitsLoseNoWakeUp) {
    // The writer does not wait for the reader: each stored chunk may come before, during or
    // after the reader publishes what it needs. Every wait must end with its bytes.
    constexpr int ROUNDS = 300;
    std::thread writer([&] {
        for (int r = 0; r < ROUNDS; r++) {
            const Bytes b = counting(r, size_t(1 + r % 7));
            for (uint8_t x : b) ASSERT_EQ(::write(master_, &x, 1), 1);
        }
    });
    Bytes got;
    for (int r = 0; r < ROUNDS; r++) {
        const int n = 1 + r % 7;
        ASSERT_EQ(com_rx_wait_for(vna_com, n, LONG_MS), 1) << "round " << r;
        for (int i = 0; i < n; i++) got.push_back(uint8_t(com_rx(vna_com)));
    }
    writer.join();
    Bytes want;
    for (int r = 0; r < ROUNDS; r++) {
        const Bytes b = counting(r, size_t(1 + r % 7));
        want.insert(want.end(), b.begin(), b.end());
    }
    EXPECT_EQ(got, want);
}

TEST_F(ReadBatch, CloseAndStopEndAWaitAtOnce) {
    {
        Waiter w(100, LONG_MS);
        feed(counting(0, 3));
        com_close(vna_com);
        ASSERT_TRUE(eventually([&] { return w.done.load(); })) << "the close did not wake the reader";
        EXPECT_EQ(w.result.load(), 0);
    }
    ASSERT_EQ(com_open(vna_com, 115200), 0);
    static std::atomic<int> returned;
    returned = 0;
    const unsigned task = exec_task_hidden(
        [](void*) {
            com_rx_wait_for(vna_com, 100, LONG_MS);
            returned = 1;  // never: the stop request ends the task inside the wait
        },
        nullptr, 0);
    ASSERT_NE(task, 0u);
    feed(counting(0, 3));
    std::atomic<bool> removed{false};
    std::thread stopper([&] {
        remove_task_hidden(task);
        removed = true;
    });
    EXPECT_TRUE(eventually([&] { return removed.load(); })) << "the stop did not wake the reader";
    stopper.join();
    EXPECT_EQ(returned.load(), 0);
}

// vna_read_exact keeps its time limit on the runtime's clock: with a manual clock the
// bytes are taken whole while the clock stands, and the read fails once it has moved past
// the limit, keeping what came.
TEST_F(ReadBatch, ReadExactTakesAWholeAnswerAndFailsOnlyPastItsLimit) {
    ScopedManualClock clock;
    uint8_t dst[64] = {};
    std::atomic<int> result{-1};
    std::thread reader([&] { result = vna_read_exact(dst, 64, 50); });
    feed(counting(0, 20));
    feed(counting(20, 44));
    reader.join();
    EXPECT_EQ(result.load(), 1);
    EXPECT_EQ(Bytes(dst, dst + 64), counting(0, 64));

    result = -1;
    std::thread late([&] { result = vna_read_exact(dst, 64, 50); });
    feed(counting(100, 10));
    EXPECT_TRUE(eventually([&] { return rx_used(vna_com) == 0; }));  // taken by the reader
    clock.clock.advance_ms(51);
    late.join();
    EXPECT_EQ(result.load(), 0);
    EXPECT_EQ(Bytes(dst, dst + 10), counting(100, 10));
}

}  // namespace
