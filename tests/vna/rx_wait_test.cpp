// Waiting for received bytes: the reader is woken by the receive pump when bytes arrive,
// not at the end of its timeout.
#include <pty.h>

#include <chrono>
#include <thread>

#include "core_harness.h"

TEST(RxWait, WakesWhenBytesArrive) {
    int master = -1, slave = -1;
    char name[64];
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    ASSERT_EQ(assign_com(&com3, name), 0);
    ASSERT_EQ(com_open(&com3, 115200), 0);

    EXPECT_EQ(com_rx_wait(&com3, 20), 0);  // nothing came

    using clock = std::chrono::steady_clock;
    std::thread sender([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        EXPECT_EQ(::write(master, "x", 1), 1);
    });
    const auto t0 = clock::now();
    EXPECT_EQ(com_rx_wait(&com3, 10000), 1);
    // Woken by the byte, far from the end of the 10 s.
    EXPECT_LT(clock::now() - t0, std::chrono::seconds(5));
    sender.join();
    EXPECT_EQ(com_rx(&com3), 'x');

    com_close(&com3);
    // A closed record has nothing to wait for: the wait just times out.
    EXPECT_EQ(com_rx_wait(&com3, 5), 0);
    ::close(master);
    ::close(slave);
}

TEST(ReadExact, NothingAskedAndNothingComing) {
    uint8_t byte = 0;
    EXPECT_EQ(vna_read_exact(&byte, 0, 500), 1);
    EXPECT_EQ(vna_read_exact(&byte, -3, 500), 1);
    // With nothing arriving the whole call ends after its timeout.
    EXPECT_EQ(vna_read_exact(&byte, 1, 20), 0);
}
