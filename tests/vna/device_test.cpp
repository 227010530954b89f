// The device command task against the simulator: connect with the device check, the
// state transitions and their messages, the busy rule, and the end of the task.
#include <algorithm>
#include <pty.h>
#include <sys/file.h>

#include <atomic>
#include <thread>

#include "core_harness.h"
#include "platform/display.h"

using namespace coretest;

using Device = Core;

TEST_F(Device, ConnectDisconnectAndWhereThePortNameComesFrom) {
    start();
    EXPECT_EQ(status(), "Not connected");
    for (int code : {VNA_CMD_SCAN, VNA_CMD_OPEN, VNA_CMD_THRU, VNA_CMD_CAL_APPLY}) {
        SCOPED_TRACE(code);
        EXPECT_EQ(run(code), 0);
        EXPECT_EQ(status(), "Connect Corvane first");
        EXPECT_EQ(vna_state.load(), VNA_NOT_CONNECTED);
    }
    EXPECT_EQ(have_open.load(), 0);
    // The sweep itself refuses to run outside a command while not connected.
    EXPECT_EQ(vna_scan_raw(), 0);
    EXPECT_EQ(status(), "VNA not connected");

    uint64_t mark = vna_status.count();
    ASSERT_EQ(connect(), 1);
    EXPECT_EQ(texts_since(mark), (Texts{"Opening port...", "Corvane connected"}));
    EXPECT_EQ(vna_state.load(), VNA_CONNECTED);
    EXPECT_NE(vna_com->open.load(), 0);
    // CONNECT while connected does nothing and says nothing.
    mark = vna_status.count();
    EXPECT_EQ(connect(), 1);
    EXPECT_EQ(vna_status.count(), mark);
    EXPECT_EQ(vna_state.load(), VNA_CONNECTED);
    ASSERT_EQ(run(VNA_CMD_DISCONNECT), 1);
    EXPECT_EQ(vna_state.load(), VNA_NOT_CONNECTED);
    EXPECT_EQ(status(), "Not connected");
    EXPECT_EQ(vna_com->open.load(), 0);

    // Connected again, by a link longer than the 15 characters a port record keeps: it is
    // opened through its target.
    ASSERT_GT(sim_->link().size(), 15u);
    name_port(sim_->link());
    ASSERT_EQ(connect(), 1) << status();
    EXPECT_EQ(scan(), 1) << status();
    ASSERT_EQ(run(VNA_CMD_DISCONNECT), 1);

    // An installed source (the page's port selector) replaces the name at connect.
    static std::string chosen;
    chosen = sim_->tty();
    name_port("COM9");
    vna_port_source.store([](char* out, size_t n) { std::snprintf(out, n, "%s", chosen.c_str()); });
    ASSERT_EQ(connect(), 1) << status();
    EXPECT_EQ(std::string(vna_port_name), chosen);
}

// A device on a pseudo-terminal that answers every byte with '3'.
struct WrongDevice {
    int master = -1, slave = -1;
    char path[64] = "";
    std::atomic<bool> stop{false};
    std::thread thread;
    WrongDevice() {
        if (openpty(&master, &slave, path, nullptr, nullptr) != 0) return;
        thread = std::thread([this] {
            char buf[64];
            for (pollfd p{master, POLLIN, 0}; !stop;)
                if (poll(&p, 1, 5) > 0)
                    for (ssize_t n = ::read(master, buf, sizeof buf); n > 0; n--)
                        if (::write(master, "3", 1) != 1) break;
        });
    }
    ~WrongDevice() {
        stop = true;
        if (thread.joinable()) thread.join();
        ::close(master);
        ::close(slave);
    }
};

TEST_F(Device, FailuresEndInTheErrorState) {
    start();
    WrongDevice other, held;
    ASSERT_NE(other.path[0], 0);
    ASSERT_EQ(flock(held.slave, LOCK_EX | LOCK_NB), 0);  // as another program holds its port
    const std::string saved_mydir = MyDir;  // COM2: a dangling link in the start directory
    std::snprintf(MyDir, sizeof MyDir, "%s", sim_->dir().c_str());
    std::filesystem::create_symlink(sim_->dir() + "/gone", sim_->dir() + "/ports/COM2");
    ASSERT_EQ(ctl("fault silent"), "ok");
    const std::pair<std::string, const char*> cases[] = {
        {"/nonexistent/tty", "Port open error: no such port"},
        {"COM2", "Port open error: no such port"},
        {held.path, "Port open error: in use by another program"},
        {other.path, "Corvane not responding"},   // answers something else
        {sim_->tty(), "Corvane not responding"},  // answers nothing
    };
    for (const auto& [port, message] : cases) {
        SCOPED_TRACE(port);
        name_port(port);
        EXPECT_EQ(connect(), 0);
        EXPECT_EQ(status(), message);
        EXPECT_EQ(vna_state.load(), VNA_ERROR);
        EXPECT_EQ(vna_com->open.load(), 0);
    }
    std::snprintf(MyDir, sizeof MyDir, "%s", saved_mydir.c_str());
    // From the error state a connect may be retried.
    ASSERT_EQ(ctl("fault none"), "ok");
    ASSERT_EQ(connect(), 1) << status();
    EXPECT_EQ(vna_state.load(), VNA_CONNECTED);

    // A failed load ends in the error state with the port still open: a connect then
    // finds the record taken, and a disconnect clears it.
    std::snprintf(vna_cal_file, sizeof vna_cal_file, "%s/none.cal", sim_->dir().c_str());
    EXPECT_EQ(run(VNA_CMD_LOAD_CAL), 0);
    EXPECT_EQ(status(), "Calibration file not found");
    EXPECT_EQ(vna_state.load(), VNA_ERROR);
    EXPECT_EQ(scan(), 0);
    EXPECT_EQ(status(), "Connect Corvane first");
    EXPECT_EQ(connect(), 0);
    EXPECT_EQ(status(), "assign_com error");
    EXPECT_EQ(vna_state.load(), VNA_ERROR);
    ASSERT_EQ(run(VNA_CMD_DISCONNECT), 1);
    EXPECT_EQ(vna_state.load(), VNA_NOT_CONNECTED);
    ASSERT_EQ(connect(), 1);
}

TEST(OpenErrors, TheReasonFollowsTheMessage) {
    const std::pair<std::vector<int>, std::string> reasons[] = {
        {{EACCES, EPERM}, ": permission denied (dialout group?)"}, {{EBUSY, EWOULDBLOCK}, ": in use by another program"},
        {{ENOENT, ENOTDIR, ENXIO, ENODEV}, ": no such port"}, {{ENOTTY}, ": not a serial port"},
        {{EIO}, ": input/output error"}, {{9999}, ": error 9999"}, {{0}, ""}};
    for (const auto& [errs, reason] : reasons)
        for (int err : errs) EXPECT_EQ(vna_open_error_text(err), "Port open error" + reason) << err;
}

TEST_F(Device, BusyRuleRefusesASecondPost) {
    connected();
    vna_points.store(2001);
    const uint32_t before = post(VNA_CMD_SCAN);
    // Whether the task has taken the first command yet or not, the second is refused, and
    // said so (the task may set "Scanning..." after it).
    const auto refusals_since = [](uint64_t mark) {
        const Texts t = texts_since(mark);
        return std::count(t.begin(), t.end(), "Command ignored: VNA busy");
    };
    uint64_t mark = vna_status.count();
    EXPECT_EQ(vna_post(VNA_CMD_SCAN), 0);
    EXPECT_EQ(refusals_since(mark), 1);
    mark = vna_status.count();
    page1_cal_open_onmousedown();
    EXPECT_EQ(refusals_since(mark), 1);
    EXPECT_EQ(finished(before), 1);
    EXPECT_EQ(status(), "Scan completed");
    EXPECT_EQ(vna_commands_done.load(), before + 1) << "a refused post ran anyway";
    EXPECT_EQ(have_open.load(), 0);
    // Once idle, posts are taken again.
    EXPECT_EQ(scan(), 1);
}

TEST_F(Device, AbortByCommandWordAndQuit) {
    connected();
    // Code 12 only raises the abort flag; the next sweep clears it when it starts.
    ASSERT_EQ(run(VNA_CMD_ABORT), 1);
    EXPECT_EQ(vna_abort.load(), 1);
    EXPECT_EQ(scan(), 1);
    EXPECT_EQ(vna_abort.load(), 0);

    // Quit disconnects and ends the task: later posts are never taken.
    ASSERT_EQ(run(VNA_CMD_QUIT), 1);
    EXPECT_EQ(vna_state.load(), VNA_NOT_CONNECTED);
    EXPECT_EQ(vna_com->open.load(), 0);
    ASSERT_EQ(vna_post(VNA_CMD_CONNECT), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(vna_command.load(), VNA_CMD_CONNECT);
}

// The idle task sleeps on its command word with a wait that only a wake-up can end: posts
// are taken (also the one after a command), and removal ends the sleep.
TEST(DeviceTask, SleepsOnItsWordYetTakesPostsAndEndsWhenRemoved) {
    reset_core();
    vna_idle_wait_ms = 24 * 3600 * 1000;
    const unsigned task = exec_task_hidden(vna_task, nullptr, 0);
    ASSERT_NE(task, 0u);
    for (int k = 0; k < 2; k++) {
        const uint32_t before = vna_commands_done.load();
        ASSERT_EQ(vna_post(VNA_CMD_DISCONNECT), 1);
        EXPECT_TRUE(eventually([&] { return vna_commands_done.load() != before; })) << "post " << k;
    }
    std::atomic<bool> removed{false};
    std::thread remover([&] { remove_task_hidden(task), removed = true; });
    EXPECT_TRUE(eventually([&] { return removed.load(); })) << "removal did not end the wait";
    if (!removed) vna_command = VNA_CMD_QUIT, task_wake_word(vna_command);  // lets the task end anyway
    remover.join();
    vna_idle_wait_ms = 100;
}

TEST_F(Device, StatusTextIsReadWholeWhileWritten) {
    // A reader never sees a mixture of two texts, and the history keeps each of them.
    const char* texts[] = {"Acquisition ISOLATION...", "Scan completed"};
    vna_status.set(texts[0]);
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (int i = 0; !stop || i < 2; i++) vna_status.set(texts[i % 2]);  // two at least
    });
    int torn = 0;
    for (int i = 0; i < 20000; i++) {
        const std::string t = status();
        torn += t != texts[0] && t != texts[1];
    }
    stop = true;
    writer.join();
    EXPECT_EQ(torn, 0);
    const uint64_t n = vna_status.count();
    std::string last, older, gone;
    EXPECT_TRUE(vna_status.get(n, last));
    EXPECT_EQ(last, status());
    EXPECT_TRUE(vna_status.get(n - 1, older));
    EXPECT_NE(older, last);
    EXPECT_FALSE(vna_status.get(n - VnaStatus::history, gone));
    EXPECT_FALSE(vna_status.get(n + 1, gone));
}

TEST(ExitButton, EndsTheProcessWithStatusZero) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(page1_button1_onmousedown(), ::testing::ExitedWithCode(0), "");
}

TEST(Handlers, EachButtonPostsItsCode) {
    reset_core();  // no task runs: the word keeps what was posted
    const std::pair<void (*)(), int> buttons[] = {
        {page1_connect_onmousedown, VNA_CMD_CONNECT},   {page1_disconnect_onmousedown, VNA_CMD_DISCONNECT},
        {page1_cal_open_onmousedown, VNA_CMD_OPEN},     {page1_cal_short_onmousedown, VNA_CMD_SHORT},
        {page1_cal_load_onmousedown, VNA_CMD_LOAD},     {page1_cal_isol_onmousedown, VNA_CMD_ISOL},
        {page1_cal_thru_onmousedown, VNA_CMD_THRU},     {page1_cal_done_onmousedown, VNA_CMD_CAL_APPLY},
    };
    for (auto [press, code] : buttons) {
        vna_command.store(0);
        press();
        EXPECT_EQ(vna_command.load(), code);
    }
    vna_command.store(0);
}
