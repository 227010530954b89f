#include "platform/cycle.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

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

TEST_F(QueryWord, AWordPostedByAnotherProcessIsTakenAndZeroed) {
    create(256);
    cycles(3);  // open, map, first read
    ASSERT_GT(query_rx.load(), 0u);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The other process: post a word, then wait until the program has taken it.
        int fd = shm_open(name.c_str(), O_RDWR, 0);
        void* p = fd < 0 ? MAP_FAILED : mmap(nullptr, 256, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (p == MAP_FAILED) _exit(2);
        std::atomic_ref<uint32_t> word(*static_cast<uint32_t*>(p));
        word.store(0xC0FFEE);
        for (int i = 0; i < 10000; i++) {
            if (word.load() == 0) _exit(0);
            usleep(1000);
        }
        _exit(1);
    }
    for (int i = 0; i < 50000 && query_line.load() == 0; i++) {
        start_cycle();
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(query_line.load(), 0xC0FFEEu);
    EXPECT_EQ(query_holdline.load(), 0u);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the word was never written back to 0";
}

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

TEST_F(QueryWord, CycleTimeIsMeasuredInMicroseconds) {
    cycles(2);
    EXPECT_EQ(plc_time.load(), 1000u);
    // A cycle ends on the next whole millisecond: 2.5 ms of work make a cycle of 3 ms.
    c.clock.advance_ns(2500000);
    start_cycle();
    EXPECT_NEAR(plc_time.load(), 3000u, 1);  // through the seconds clock, a double
}

}  // namespace
