// Waiting for a whole answer: a reader that needs N bytes is woken when the receive ring
// holds them, however they arrive, and at once by a close or a stop request. (vna_read_exact
// itself reads every answer of the sweep and device tests, and waits out their silences.) The port is a
// pseudo-terminal whose master side the test writes; nothing here depends on how fast the
// threads run (a lost wake-up shows as a wait that returns 0 at its long timeout).
#include <pty.h>

#include <functional>
#include <thread>

#include "core_harness.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr int LONG_MS = 60000;  // reached only by a wait that nobody woke

Bytes counting(size_t from, size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; i++) b[i] = uint8_t(from + i);
    return b;
}
int rx_used() { return (vna_com->rx1.load() + COM_RING_SIZE - vna_com->rx0.load()) % COM_RING_SIZE; }

class ReadBatch : public ::testing::Test {
protected:
    void SetUp() override {
        char name[64];
        ASSERT_EQ(openpty(&master_, &slave_, name, nullptr, nullptr), 0);
        ASSERT_EQ(assign_com(vna_com, name), 0);
        ASSERT_EQ(com_open(vna_com, 115200), 0);
    }
    void TearDown() override {
        if (waiter_.joinable()) waiter_.join();
        com_close(vna_com);
        vna_com->NameCom[0] = 0;
        ::close(master_), ::close(slave_);
    }
    // Writes n bytes counting on and returns once the receive pump has stored them (a
    // reader may have taken them already).
    void feed(size_t n) {
        const int before = vna_com->rx1.load();
        ASSERT_EQ(::write(master_, counting(sent_, n).data(), n), ssize_t(n));
        sent_ += n;
        ASSERT_TRUE(eventually([&] { return (vna_com->rx1.load() + COM_RING_SIZE - before) % COM_RING_SIZE >= int(n); }));
    }
    // `wait` in a thread of its own; its result once it returned, -1 before.
    void wait_in_thread(std::function<int()> wait) {
        result_ = -1;
        waiter_ = std::thread([this, wait] { result_ = wait(); });
    }
    int result() {
        EXPECT_TRUE(eventually([&] { return result_.load() != -1; })) << "the wait was not ended";
        waiter_.join();
        return result_;
    }
    int master_ = -1, slave_ = -1;
    size_t sent_ = 0;
    std::thread waiter_;
    std::atomic<int> result_{-1};
};

TEST_F(ReadBatch, AWaitEndsWhenTheRingHoldsWhatItNeedsOrAtACloseOrAStop) {
    // Bytes needed, the pieces written (fewer than needed never end a long wait), the timeout, the result.
    const std::tuple<int, std::vector<size_t>, int, int> cases[] = {
        {256, {1, 40, 100, 115}, LONG_MS, 1}, {5, {12}, LONG_MS, 1}, {3, {2, 1}, LONG_MS, 1}, {10, {4}, 30, 0}};
    for (const auto& [need, pieces, timeout_ms, want] : cases) {
        vna_flush_rx();
        wait_in_thread([need, timeout_ms] { return com_rx_wait_for(vna_com, need, timeout_ms) * 2 + (rx_used() >= need); });
        for (size_t piece : pieces) {
            EXPECT_TRUE(timeout_ms != LONG_MS || result_ == -1) << "woken early";
            feed(piece);
        }
        EXPECT_EQ(result(), want * 3) << need;
    }
    EXPECT_EQ(com_rx_wait_for(vna_com, 4, LONG_MS), 1);  // enough already: no wait at all
    wait_in_thread([] { return com_rx_wait_for(vna_com, 100, LONG_MS); });
    feed(3);
    com_close(vna_com);
    EXPECT_EQ(result(), 0);
    EXPECT_EQ(com_rx_wait_for(vna_com, 1, LONG_MS), 0);
    // A stop request ends the task inside the wait.
    ASSERT_EQ(com_open(vna_com, 115200), 0);
    static std::atomic<int> returned;
    returned = 0;
    const unsigned task = exec_task_hidden([](void*) { com_rx_wait_for(vna_com, 100, LONG_MS), returned = 1; }, nullptr, 0);
    ASSERT_NE(task, 0u);
    feed(3);
    wait_in_thread([task] { return remove_task_hidden(task), 0; });
    EXPECT_EQ((std::pair{result(), returned.load()}), std::pair(0, 0));
}

}  // namespace
