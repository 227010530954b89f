// The control cycle's look-up of the shared-memory query word: it costs the cycle nothing
// while the object is missing (one attempt in 100 ms) and never reads past a short object.
#include "platform/cycle.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/clock.h"
#include "support/manual_clock.h"

namespace {

// A shared-memory query word under a name of this test's own, removed at the end.
class QueryWord : public ::testing::Test {
protected:
    void SetUp() override {
        shm_unlink(name.c_str());
        query_word_use_name(name.c_str());
        plc_priority = 1;  // so that each cycle sleeps its 1 ms on the manual clock
        query_rx = 0;
        query_line = 0;
    }
    void TearDown() override {
        query_word_use_name(nullptr);
        shm_unlink(name.c_str());
    }
    void create(off_t size) {
        int fd = shm_open(name.c_str(), O_RDWR | O_CREAT, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(ftruncate(fd, size), 0);
        close(fd);
    }
    static void cycles(int n) {
        for (int i = 0; i < n; i++) start_cycle();
    }

    ScopedManualClock c;
    const std::string name = "/corvane-test-" + std::to_string(getpid());
};

TEST_F(QueryWord, AMissingObjectIsLookedForEveryHundredMilliseconds) {
    start_cycle();  // first attempt fails: nothing there
    const uint32_t first_try = ORA.load();
    create(256);
    while (query_rx.load() == 0 && ORA.load() - first_try < 1000) start_cycle();
    // Found at the attempt 100 ms after the first, then mapped and read in two cycles.
    const uint32_t found = ORA.load() - first_try;
    EXPECT_GE(found, 100u);
    EXPECT_LE(found, 103u);
}

TEST_F(QueryWord, AnObjectTooShortForTheWordIsNotReadUntilItGrows) {
    create(0);
    cycles(10);  // would fault on the mapped word if it were read
    EXPECT_EQ(query_rx.load(), 0u);
    create(256);
    cycles(3);
    EXPECT_GT(query_rx.load(), 0u);
}

}  // namespace
