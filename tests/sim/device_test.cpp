// The register protocol and the sweep timing of the device on a clock the test drives.
#include "sim/device.h"

#include <gtest/gtest.h>

#include "sim_harness.h"

using namespace simtest;

namespace {

constexpr uint64_t ms = 1000000;

struct Host {
    sim::Device dev;
    explicit Host(double rate = 1000) { dev.set_rate(rate); }
    void send(const std::string& m, uint64_t t)
    {
        dev.receive(reinterpret_cast<const uint8_t*>(m.data()), m.size(), t);
    }
    std::string take(uint64_t t)
    {
        dev.advance(t);
        std::string out;
        out.swap(dev.output());
        return out;
    }
    std::vector<uint16_t> points(const std::string& bytes)
    {
        std::vector<uint16_t> p;
        for (size_t at = 0; at + 32 <= bytes.size(); at += 32) p.push_back(decode(bytes, at).point);
        return p;
    }
};

}  // namespace

TEST(SimDevice, RecordsAreSentOnlyOnceMeasured)
{
    Host h(1000);  // one point per ms
    h.send(setup(1000000, 1000000, 5) + fifo(8), 0);
    EXPECT_EQ(h.take(500000).size(), 0u);
    EXPECT_EQ(h.dev.next_event_ns(), 1 * ms);
    EXPECT_EQ(h.take(3 * ms + 1).size(), 3 * 32u);
    EXPECT_EQ(h.dev.next_event_ns(), 4 * ms);
    std::string rest = h.take(8 * ms);
    EXPECT_EQ(h.points(rest), (std::vector<uint16_t>{3, 4, 0, 1, 2}));
    EXPECT_EQ(h.dev.next_event_ns(), sim::Device::no_event);

    // Slow mode measures four times slower.
    h.send(setup(1000000, 1000000, 5, 4) + fifo(8), 10 * ms);
    EXPECT_EQ(h.take(18 * ms).size(), 2 * 32u);
    EXPECT_EQ(h.dev.next_event_ns(), 22 * ms);
    EXPECT_EQ(h.take(42 * ms).size(), 6 * 32u);
}

TEST(SimDevice, MessagesAfterAFifoReadWaitForItsAnswer)
{
    Host h(1000);
    // Sent byte by byte: a message split over reads is taken whole.
    std::string msgs = setup(1000000, 1000000, 3) + fifo(2) + "\x0D" + write1(0x30, 0) + fifo(1) + fifo(0) + "\x0D";
    for (char c : msgs) h.send(std::string(1, c), 0);
    std::string out = h.take(10 * ms);
    // The restart is taken after the check, at 10 ms; its first point is measured 1 ms later.
    EXPECT_EQ(out.size(), 2 * 32u + 1);
    out += h.take(11 * ms);
    ASSERT_EQ(out.size(), 2 * 32u + 1 + 32 + 1);
    EXPECT_EQ(h.points(out.substr(0, 64)), (std::vector<uint16_t>{0, 1}));
    EXPECT_EQ(out[64], '2');
    // The restart after the check begins again at point 0; a read of 0 records answers nothing.
    EXPECT_EQ(decode(out, 65).point, 0);
    EXPECT_EQ(out.back(), '2');
}

TEST(SimDevice, AFullFifoPausesMeasuringAndLosesNothing)
{
    Host h(1000);
    h.send(setup(1000000, 1000000, 7), 0);
    // 10 s later the FIFO has been full for a long time: the host gets the records in
    // order from the first, not the newest ones.
    h.send(fifo(3), 10000 * ms);
    EXPECT_EQ(h.points(h.take(10000 * ms)), (std::vector<uint16_t>{0, 1, 2}));
    // Measuring resumed when the host read: after draining the FIFO, the next record is
    // the one measured one period after that read.
    uint64_t left = sim::fifo_depth - 3;
    std::string drained;
    for (uint64_t i = 0; i < left; i += 200) {
        const uint64_t n = std::min<uint64_t>(200, left - i);
        h.send(fifo(uint8_t(n)), 10000 * ms);
        drained += h.take(10000 * ms);
    }
    ASSERT_EQ(drained.size(), left * 32);
    EXPECT_EQ(decode(drained, drained.size() - 32).point, uint16_t((sim::fifo_depth - 1) % 7));
    h.send(fifo(1), 10000 * ms);
    EXPECT_EQ(h.take(10000 * ms).size(), 0u);
    EXPECT_EQ(h.points(h.take(10001 * ms)), (std::vector<uint16_t>{uint16_t(sim::fifo_depth % 7)}));
}

TEST(SimDevice, DropAndSilence)
{
    Host h(1000);
    h.send(setup(1000000, 1000000, 4), 0);
    h.dev.drop_next_answer(40);  // all of record 0 and 8 bytes of record 1
    h.send(fifo(2) + "\x0D", 0);
    std::string out = h.take(5 * ms);
    ASSERT_EQ(out.size(), 64u - 40 + 1);
    EXPECT_EQ(out[16], 1);  // the point field of record 1, now 8 bytes into it
    EXPECT_EQ(out[17], 0);
    EXPECT_EQ(out.back(), '2');          // only the next answer loses bytes

    h.dev.set_silent(true);
    h.send("\x0D" + fifo(1), 6 * ms);
    EXPECT_EQ(h.take(20 * ms), "");
    h.dev.set_silent(false);
    h.send("\x0D", 21 * ms);
    EXPECT_EQ(h.take(21 * ms), "2");
}
