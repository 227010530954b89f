// The 115200 baud line rate: the schedule on a clock the test gives, and one short burst
// through the pseudo-terminal.
#include "sim/pacer.h"

#include "sim_harness.h"

using namespace simtest;

TEST(SimPacing, BytesLeaveAtTheLineRate)
{
    const double byte_ns = 1e9 / 11520;  // ten bits at 115200 baud
    sim::Pacer p;
    const uint64_t t0 = 5000000000;
    size_t queued = 256, sent = 0;
    EXPECT_EQ(p.due(queued, t0), 0u);
    // Each byte is due once its own transmission has ended, measured from the start.
    for (uint64_t t = t0; queued > 0; t += 700000) {
        size_t n = p.due(queued, t);
        sent += n;
        queued -= n;
        p.sent(n, queued);
        EXPECT_EQ(sent, std::min<size_t>(256, size_t(double(t - t0) / byte_ns))) << t - t0;
    }
    // The next burst waits for the line when it comes at once, and starts afresh after a pause.
    uint64_t end = t0 + uint64_t(256 * byte_ns);
    EXPECT_EQ(p.due(10, end), 0u);
    EXPECT_NEAR(double(p.wake_ns(10, 4)), double(end) + 4 * byte_ns, byte_ns);
    p.sent(0, 0);
    EXPECT_EQ(p.due(10, end + 1000000000), 0u);
    EXPECT_EQ(p.due(10, end + 1000000000 + uint64_t(3.5 * byte_ns)), 3u);

    // Off: everything at once.
    p.set_enabled(false);
    EXPECT_EQ(p.due(1000, t0), 1000u);
}

TEST(SimPacing, TerminalCarriesElevenThousandFiveHundredTwentyBytesPerSecond)
{
    Connected c(sim::Options{});  // paced by default
    ASSERT_TRUE(c.port.ok());
    // 4608 bytes, 0.4 s of line. Timed from the first byte to the last, so that the
    // start-up of the request does not count.
    c.port.send(setup(1000000, 1000000, 100) + fifo(144));
    ASSERT_EQ(c.port.read(1, 1000).size(), 1u);
    const uint64_t t_first = sim::monotonic_ns();
    ASSERT_EQ(c.port.read(4607, 3000).size(), 4607u);
    const double rate = 4607.0 / (double(sim::monotonic_ns() - t_first) / 1e9);
    EXPECT_NEAR(rate, 11520.0, 1152.0);
    RecordProperty("bytes_per_s", std::to_string(rate));
}
