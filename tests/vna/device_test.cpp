// The device command task against the simulator: connect with the device check, the
// state transitions and their messages, the busy rule, the end of the task, the status
// text and the buttons.
#include <algorithm>
#include <thread>

#include "core_harness.h"

using namespace coretest;

using Device = Core;

TEST_F(Device, StatesMessagesTheBusyRuleAndQuit) {
    start();
    for (int code : {VNA_CMD_SCAN, VNA_CMD_OPEN, VNA_CMD_CAL_APPLY})
        EXPECT_EQ(ended(run(code)), std::tuple(0, "Connect Corvane first", VNA_NOT_CONNECTED));
    EXPECT_EQ(std::tuple(have_open.load(), said(vna_scan_raw())), std::tuple(0, std::tuple(0, "VNA not connected")));
    // A link longer than the 15 characters a port record keeps is opened through its target.
    ASSERT_GT(sim_->link().size(), 15u);
    name_port(sim_->link());
    uint64_t mark = vna_status.count();
    ASSERT_EQ(connect(), 1);
    EXPECT_EQ(texts_since(mark), (Texts{"Opening port...", "Corvane connected"}));
    mark = vna_status.count();
    EXPECT_EQ(connect(), 1);  // while connected: nothing done, nothing said
    EXPECT_EQ(std::tuple(vna_state.load(), vna_status.count()), std::tuple(VNA_CONNECTED, mark));
    ASSERT_EQ(run(VNA_CMD_DISCONNECT), 1);
    EXPECT_EQ(std::tuple(vna_state.load(), status(), vna_com->open.load()),
              std::tuple(VNA_NOT_CONNECTED, "Not connected", 0));
    // Failures end in the error state. (A port held by another program and a device giving
    // the wrong answer are faulted through the program: tests/app/faults_test.cpp.)
    ASSERT_EQ(ctl("fault silent"), "ok");
    vna_answer_timeout_ms = 300;  // the silence is waited for
    const std::pair<std::string, const char*> failures[] = {{"/dev/nonesuch", "Port open error: no such port"},
                                                            {sim_->tty(), "Corvane not responding"}};
    for (const auto& [port, message] : failures) {
        name_port(port);
        EXPECT_EQ(ended(connect()), std::tuple(0, message, VNA_ERROR)) << port;
        EXPECT_EQ(vna_com->open.load(), 0);
    }
    vna_answer_timeout_ms = answer_ms;
    ASSERT_EQ(ctl("fault none"), "ok");
    ASSERT_EQ(connect(), 1) << status();  // from the error state a connect may be retried
    // (A failed load ends in the error state too: calfile_test.cpp, tests/app/faults_test.cpp.)
    vna_points.store(2001);
    const uint32_t before = vna_commands_done.load();
    ASSERT_EQ(vna_post(VNA_CMD_SCAN), 1);
    // Whether the task has taken the first command yet or not, the second is refused, and
    // said so (the task may set "Scanning..." after the refusal).
    for (auto second : {+[] { return vna_post(VNA_CMD_SCAN); }, +[] { return page1_cal_open_onmousedown(), 0; }}) {
        const uint64_t mark = vna_status.count();
        EXPECT_EQ(second(), 0);
        const Texts t = texts_since(mark);
        EXPECT_EQ(std::count(t.begin(), t.end(), "Command ignored: VNA busy"), 1);
    }
    EXPECT_EQ(said(finished(before)), std::tuple(1, "Scan completed"));
    EXPECT_EQ(std::pair(vna_commands_done.load(), have_open.load()), std::pair(before + 1, 0));  // none ran twice
    // Code 12 only raises the abort flag; the next sweep clears it when it starts.
    ASSERT_EQ((std::pair{run(VNA_CMD_ABORT), vna_abort.load()}), std::pair(1, 1));
    EXPECT_EQ((std::pair{scan(), vna_abort.load()}), std::pair(1, 0));
    // Quit disconnects and ends the task: a later post stays in the word.
    ASSERT_EQ(run(VNA_CMD_QUIT), 1);
    EXPECT_EQ(std::tuple(vna_state.load(), vna_com->open.load()), std::tuple(VNA_NOT_CONNECTED, 0));
    ASSERT_EQ(vna_post(VNA_CMD_CONNECT), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(vna_command.load(), VNA_CMD_CONNECT);
}

TEST(OpenErrors, TheReasonFollowsTheMessage) {
    const std::pair<int, std::string> reasons[] = {
        {EPERM, ": permission denied (dialout group?)"}, {EWOULDBLOCK, ": in use by another program"},
        {ENODEV, ": no such port"}, {ENOTTY, ": not a serial port"}, {9999, ": error 9999"}, {0, ""}};
    for (const auto& [err, reason] : reasons) EXPECT_EQ(vna_open_error_text(err), "Port open error" + reason) << err;
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
        EXPECT_TRUE(eventually([&] { return vna_commands_done.load() != before; }, 60000)) << "post " << k;
    }
    std::atomic<bool> removed{false};
    std::thread remover([&] {
        remove_task_hidden(task);
        removed = true;
    });
    EXPECT_TRUE(eventually([&] { return removed.load(); }, 60000)) << "removal did not end the wait";
    if (!removed) {  // lets the task end anyway
        vna_command = VNA_CMD_QUIT;
        task_wake_word(vna_command);
    }
    remover.join();
    vna_idle_wait_ms = 100;
}

// The history keeps the last texts in order, each cut to the buffer, numbered from 1.
TEST(StatusText, KeptInOrder) {
    const std::string long_text(300, 'x');
    for (unsigned k = 0; k < VnaStatus::history; k++) vna_status.set("older");
    for (const char* t : {"one", "two", long_text.c_str()}) vna_status.set(t);
    const uint64_t n = vna_status.count();
    EXPECT_EQ(texts_since(n - 3), (Texts{"one", "two", long_text.substr(0, VnaStatus::size - 1)}));
    EXPECT_EQ(texts_since(n - VnaStatus::history - 1).size(), VnaStatus::history);
    std::string gone;
    EXPECT_FALSE(vna_status.get(n + 1, gone) || vna_status.get(0, gone));
}

// The answer timeout from the environment, clamped to 500 to 10000 ms.
TEST(AnswerTimeout, FromTheEnvironment) {
    for (auto [text, ms] : {std::pair{"700", 700}, {"20", 500}, {"99999", 10000}, {"x", 500}}) {
        setenv("CORVANE_ANSWER_TIMEOUT_MS", text, 1);
        vna_answer_timeout_from_env();
        EXPECT_EQ(vna_answer_timeout_ms.load(), ms) << text;
    }
    unsetenv("CORVANE_ANSWER_TIMEOUT_MS");
    vna_answer_timeout_ms = answer_ms;
}
