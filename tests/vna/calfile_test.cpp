// Calibration files: the bytes written, the round trip, every load failure leaving the
// calibration and the sweep as they were, and a failed save leaving the old file intact.
#include <sys/resource.h>

#include <csignal>
#include <fstream>
#include <iterator>

#include "core_harness.h"

using namespace coretest;

namespace {

std::vector<uint8_t> slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void spit(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

uint64_t le(const std::vector<uint8_t>& b, size_t at, int n) {
    uint64_t v = 0;
    for (int i = n - 1; i >= 0; i--) v = v << 8 | b[at + size_t(i)];
    return v;
}

float le_float(const std::vector<uint8_t>& b, size_t at) {
    const uint32_t bits = uint32_t(le(b, at, 4));
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

// A calibration of n points with distinct values everywhere.
void fill(unsigned n, float seed) {
    VNA_COMPLEX* arrays[] = {cal_open, cal_short, cal_load, cal_isol, cal_thru};
    for (int a = 0; a < 5; a++)
        for (unsigned i = 0; i < n; i++)
            arrays[a][i] = VNA_COMPLEX{seed + float(a) + float(i) / 1024.0f, -seed - float(a) * 0.5f - float(i) / 4096.0f};
    for (auto* f : {&have_open, &have_short, &have_load, &have_isol, &have_thru}) f->store(1);
    vna_points.store(uint16_t(n));
    ASSERT_EQ(vna_compute_calibration(), 1);
}

// Everything a load may change.
struct Snapshot {
    uint64_t start, stop;
    uint16_t points;
    float fstart, fstop;
    int flags[5], valid;
    std::vector<float> arrays;
    static Snapshot take() {
        Snapshot s{vna_f_start, vna_f_stop, vna_points, f_start, f_stop,
                   {have_open, have_short, have_load, have_isol, have_thru}, vna_cal_valid, {}};
        for (const VNA_COMPLEX* a : {cal_open, cal_short, cal_load, cal_isol, cal_thru, cal_ed, cal_es, cal_er})
            for (int i = 0; i < VNA_MAX_POINTS; i++) {
                s.arrays.push_back(a[i].re);
                s.arrays.push_back(a[i].im);
            }
        return s;
    }
    bool operator==(const Snapshot&) const = default;
};

}  // namespace

class CalFile : public ::testing::Test {
protected:
    void SetUp() override {
        reset_core();
        name_ = dir_.path() + "/test.cal";
        std::snprintf(vna_cal_file, sizeof vna_cal_file, "%s", name_.c_str());
    }
    void TearDown() override { reset_core(); }
    simproc::TempDir dir_;
    std::string name_;
};

TEST_F(CalFile, BytesOfASavedFile) {
    vna_f_start.store(1000000);
    vna_f_stop.store(0x123456789ull);
    fill(3, 0.25f);
    ASSERT_EQ(vna_save_calibration(), 1);
    EXPECT_EQ(status(), "Calibration saved");
    EXPECT_EQ(vna_state.load(), VNA_NOT_CONNECTED);  // no port open
    const std::vector<uint8_t> b = slurp(name_);
    ASSERT_EQ(b.size(), 32u + 40u * 3u);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "CANV");
    EXPECT_EQ(le(b, 4, 4), 2u);
    EXPECT_EQ(le(b, 8, 8), 1000000u);
    EXPECT_EQ(le(b, 16, 8), 0x123456789ull);
    EXPECT_EQ(le(b, 24, 2), 3u);
    EXPECT_EQ(le(b, 26, 2), 0u);
    EXPECT_EQ(le(b, 28, 4), 0u);
    const VNA_COMPLEX* arrays[] = {cal_open, cal_short, cal_load, cal_isol, cal_thru};
    for (int a = 0; a < 5; a++)
        for (unsigned i = 0; i < 3; i++) {
            const size_t at = 32 + 24 * size_t(a) + 8 * i;
            EXPECT_EQ(le_float(b, at), arrays[a][i].re);
            EXPECT_EQ(le_float(b, at + 4), arrays[a][i].im);
        }
    // Nothing else is left in the folder.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()), {}), 1);
}

TEST_F(CalFile, RoundTrip) {
    vna_f_start.store(3000000);
    vna_f_stop.store(1500000000);
    f_start.store(3.0f);
    f_stop.store(1500.0f);
    fill(2001, 0.5f);
    const Snapshot saved = Snapshot::take();
    ASSERT_EQ(vna_save_calibration(), 1);

    reset_core();
    std::snprintf(vna_cal_file, sizeof vna_cal_file, "%s", name_.c_str());
    ASSERT_EQ(vna_load_calibration(), 1);
    EXPECT_EQ(status(), "Calibration active");
    EXPECT_EQ(vna_state.load(), VNA_NOT_CONNECTED);
    EXPECT_TRUE(Snapshot::take() == saved);

    // Bytes after the through array are ignored.
    std::vector<uint8_t> b = slurp(name_);
    b.push_back(0xEE);
    spit(name_, b);
    reset_core();
    std::snprintf(vna_cal_file, sizeof vna_cal_file, "%s", name_.c_str());
    ASSERT_EQ(vna_load_calibration(), 1);
    EXPECT_TRUE(Snapshot::take() == saved);
}

TEST_F(CalFile, EveryLoadFailureLeavesEverythingAsItWas) {
    fill(11, 2.0f);
    ASSERT_EQ(vna_save_calibration(), 1);
    const std::vector<uint8_t> good = slurp(name_);

    // The calibration in place before each load: another sweep and other standards.
    fill(5, 7.0f);
    vna_f_start.store(2000000);
    vna_f_stop.store(9000000);
    const Snapshot before = Snapshot::take();

    auto patched = [&](size_t at, std::vector<uint8_t> bytes) {
        std::vector<uint8_t> b = good;
        std::copy(bytes.begin(), bytes.end(), b.begin() + long(at));
        return b;
    };
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"empty", {}, "Invalid calibration file"},
        {"short header", std::vector<uint8_t>(good.begin(), good.begin() + 31), "Invalid calibration file"},
        {"wrong magic", patched(0, {'C', 'A', 'N', 'W'}), "Invalid calibration file"},
        {"version 1", patched(4, {1}), "Invalid calibration file"},
        {"points 1", patched(24, {1, 0}), "Invalid calibration file"},
        {"points 2002", patched(24, {0xD2, 0x07}), "Invalid calibration file"},
        {"one byte short", std::vector<uint8_t>(good.begin(), good.end() - 1), "Incomplete calibration file"},
        {"header only", std::vector<uint8_t>(good.begin(), good.begin() + 32), "Incomplete calibration file"},
        {"more points than bytes", patched(24, {12, 0}), "Incomplete calibration file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        spit(name_, c.bytes);
        EXPECT_EQ(vna_load_calibration(), 0);
        EXPECT_EQ(status(), c.message);
        EXPECT_EQ(vna_state.load(), VNA_ERROR);
        EXPECT_TRUE(Snapshot::take() == before);
    }
    std::snprintf(vna_cal_file, sizeof vna_cal_file, "%s/missing.cal", dir_.path().c_str());
    EXPECT_EQ(vna_load_calibration(), 0);
    EXPECT_EQ(status(), "Calibration file not found");
    EXPECT_EQ(vna_state.load(), VNA_ERROR);
    EXPECT_TRUE(Snapshot::take() == before);
}

TEST_F(CalFile, FailedSavesKeepTheOldFile) {
    EXPECT_EQ(vna_save_calibration(), 0);
    EXPECT_EQ(status(), "No calibration to save");
    EXPECT_FALSE(std::filesystem::exists(name_));

    fill(401, 3.0f);
    ASSERT_EQ(vna_save_calibration(), 1);
    const std::vector<uint8_t> old = slurp(name_);
    // A point count edited past the arrays after the calibration: nothing to save.
    vna_points.store(2002);
    EXPECT_EQ(vna_save_calibration(), 0);
    EXPECT_EQ(status(), "No calibration to save");
    EXPECT_EQ(slurp(name_), old);

    // A write that falls short: files are limited to 4 kB for this process.
    fill(2001, 4.0f);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const int result = vna_save_calibration();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(status(), "Calibration write error");
    EXPECT_EQ(slurp(name_), old);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()), {}), 1) << "temporary file left";

    // A folder that does not exist, and a name taken by a folder.
    std::snprintf(vna_cal_file, sizeof vna_cal_file, "%s/no/such.cal", dir_.path().c_str());
    EXPECT_EQ(vna_save_calibration(), 0);
    EXPECT_EQ(status(), "Calibration file open error");
    std::filesystem::create_directory(dir_.path() + "/taken.cal");
    std::snprintf(vna_cal_file, sizeof vna_cal_file, "%s/taken.cal", dir_.path().c_str());
    EXPECT_EQ(vna_save_calibration(), 0);
    EXPECT_EQ(status(), "Calibration file open error");
    EXPECT_TRUE(std::filesystem::is_directory(dir_.path() + "/taken.cal"));
}

TEST(CalFileName, AsTypedInTheDialog) {
    auto name = [](const char* typed, bool save) {
        vna_set_cal_file(typed, save);
        return std::string(vna_cal_file);
    };
    EXPECT_EQ(name("test", true), "test.cal");
    EXPECT_EQ(name("test.cal", true), "test.cal");
    EXPECT_EQ(name("test.cal.bak", true), "test.cal.bak");
    EXPECT_EQ(name("my cal", true), "my.cal");
    EXPECT_EQ(name("my cal", false), "my");
    EXPECT_EQ(name("test", false), "test");
    // A name too long for the field still ends in .cal when saved.
    const std::string longname(200, 'x');
    EXPECT_EQ(name(longname.c_str(), true), std::string(123, 'x') + ".cal");
    char s[] = "a b c";
    remblank(s);
    EXPECT_STREQ(s, "a");
    std::snprintf(vna_cal_file, sizeof vna_cal_file, "vna.cal");
}

class CalFileCommands : public Core {};

TEST_F(CalFileCommands, SaveAndLoadThroughTheTask) {
    start();
    ASSERT_EQ(connect(), 1);
    simproc::TempDir dir;
    std::snprintf(vna_cal_file, sizeof vna_cal_file, "%s/run.cal", dir.path().c_str());
    EXPECT_EQ(run(VNA_CMD_SAVE_CAL), 0);
    EXPECT_EQ(status(), "No calibration to save");
    EXPECT_EQ(vna_state.load(), VNA_CONNECTED);

    set_sweep(5000000, 505000000, 51);
    calibrate();
    ASSERT_EQ(run(VNA_CMD_SAVE_CAL), 1);
    EXPECT_EQ(status(), "Calibration saved");
    EXPECT_EQ(vna_state.load(), VNA_CONNECTED);
    EXPECT_EQ(slurp(vna_cal_file).size(), 32u + 40u * 51u);

    // A click in a sweep field forgets the calibration; loading brings back the sweep too.
    page1_estart_onclick();
    set_sweep(1000000, 2000000, 3);
    ASSERT_EQ(run(VNA_CMD_LOAD_CAL), 1);
    EXPECT_EQ(status(), "Calibration active");
    EXPECT_EQ(vna_state.load(), VNA_CONNECTED);
    EXPECT_EQ(vna_points.load(), 51);
    EXPECT_EQ(vna_f_start.load(), 5000000u);
    EXPECT_EQ(vna_f_stop.load(), 505000000u);
    EXPECT_EQ(f_start.load(), 5.0f);
    EXPECT_EQ(f_stop.load(), 505.0f);
    // The loaded calibration corrects: the thru standard measures as 1.
    ASSERT_EQ(ctl("dut thru"), "ok");
    ASSERT_EQ(scan(), 1);
    for (unsigned i = 0; i < 51; i++) ASSERT_LT(std::abs(cd(s21(i)) - 1.0), 1e-5) << i;
}
