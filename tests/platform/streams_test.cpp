// Stream names, plain files, and the arguments that do not fit the kind of a name.
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/streams.h"
#include "streams_helpers.h"

namespace {

using namespace streams_test;
namespace fs = std::filesystem;

struct NameCase {
    const char* name;
    uint32_t kind;
    const char* part;
    int block;
    int port;
};

TEST(StreamNames, MarkersAtTheStartPickTheKindAndTheNamePart) {
    const NameCase cases[] = {
        {"TCP:SERVER 502", XF_TCP_SERVER, "502", -1, 502},
        {"UDP:SERVER\t9<noblock", XF_UDP_SERVER, "9", 0, 9},
        {"TCP:/127.0.0.1<block", XF_TCP_CLIENT, "127.0.0.1", 1, -1},
        {"TCP:\\plc-7<noblock", XF_TCP_CLIENT, "plc-7", 0, -1},
        {"TCP://x", XF_TCP_CLIENT, "/x", -1, -1},  // only one slash is skipped
        {"UDP:10.1.2.3", XF_UDP_CLIENT, "10.1.2.3", -1, -1},
        {"TCP-PORT:  80 ", XF_TCP_SERVER, "80 ", -1, 80},
        {"UDP-PORT:0", XF_UDP_SERVER, "0", -1, 0},
        {"TCP_PORT:65535", XF_TCP_SERVER, "65535", -1, 65535},
        {"UDP_PORT:7<block", XF_UDP_SERVER, "7", 1, 7},
        {"TCP-SERVER:", XF_TCP_SERVER, "", -1, -1},
        {"UDP-SERVER:1234<noblock", XF_UDP_SERVER, "1234", 0, 1234},
        {"TCP-SERVER:65536", XF_TCP_SERVER, "65536", -1, -2},
        {"TCP-SERVER:12ab", XF_TCP_SERVER, "12ab", -1, -2},
        {"TCP-SERVER:-1", XF_TCP_SERVER, "-1", -1, -2},
        {"TCP-SERVER:99999999999999999999999", XF_TCP_SERVER, "99999999999999999999999", -1, -2},
        {"data/TCP:x", XF_FILE, "data/TCP:x", -1, -1},
        {"tcp:host", XF_FILE, "tcp:host", -1, -1},
        {" TCP:host", XF_FILE, " TCP:host", -1, -1},
        {"vna.cal<block", XF_FILE, "vna.cal<block", -1, -1},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.name);
        XF_NAME n = xf_parse_name(c.name);
        EXPECT_EQ(n.kind, c.kind);
        EXPECT_STREQ(n.name, c.part);
        EXPECT_EQ(n.block, c.block);
        EXPECT_EQ(n.port, c.port);
    }
    EXPECT_EQ(xf_parse_name(nullptr).kind, XF_FILE);
    EXPECT_STREQ(xf_parse_name(nullptr).name, "");
}

TEST(StreamNames, LongNamesAreCutAndSuffixesBeyondTheCutStillCount) {
    const std::string host(1000, 'h');
    XF_NAME n = xf_parse_name(("TCP:" + host + "<block").c_str());
    EXPECT_EQ(std::string(n.name), host.substr(0, XF_NAME_SIZE - 1));
    EXPECT_EQ(n.block, 1);

    const std::string blanks(400, ' ');
    n = xf_parse_name(("TCP-SERVER:" + blanks + "502").c_str());
    EXPECT_EQ(n.port, 502);
    EXPECT_STREQ(n.name, "502");

    n = xf_parse_name(std::string(5000, 'f').c_str());
    EXPECT_EQ(std::strlen(n.name), size_t(XF_NAME_SIZE - 1));
}

class StreamFiles : public LoopbackStreams {
protected:
    void SetUp() override {
        LoopbackStreams::SetUp();
        dir_ = fs::temp_directory_path() /
               ("corvane_streams_" + std::to_string(getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        fs::remove_all(dir_);
        LoopbackStreams::TearDown();
    }
    fs::path dir_;
};

// Writes the values through the stream layer and reads them back.
void round_trip(const std::string& path, const std::vector<float>& values) {
    void* out = xfopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(xfwrite(values.data(), sizeof(float), values.size(), out), values.size());
    EXPECT_EQ(xfclose(out), 0);

    void* in = xfopen(path.c_str(), "rb");
    ASSERT_NE(in, nullptr);
    std::vector<float> back(values.size() + 3);
    EXPECT_EQ(xfread(back.data(), sizeof(float), back.size(), in), values.size());
    EXPECT_EQ(xeof(in), 1);
    back.resize(values.size());
    EXPECT_EQ(back, values);
    EXPECT_EQ(xfclose(in), 0);
}

TEST_F(StreamFiles, RoundTripWithTraceLines) {
    TraceLog log;
    std::vector<float> values(2001 * 2);
    for (size_t i = 0; i < values.size(); i++) values[i] = float(i) * 0.25f - 100.0f;
    const std::string path = (dir_ / "vna.cal").string();
    round_trip(path, values);
    EXPECT_TRUE(log.has("open  FILE " + path + " ("));
    EXPECT_TRUE(log.has("close FILE "));
    EXPECT_EQ(fs::file_size(path), values.size() * sizeof(float));
}

TEST_F(StreamFiles, MissingFileAndNullHandle) {
    EXPECT_EQ(xfopen((dir_ / "vna.cal").string().c_str(), "rb"), nullptr);
    char b[4];
    EXPECT_EQ(xfread(b, 1, 4, nullptr), 0u);
    EXPECT_EQ(xfwrite(b, 1, 4, nullptr), 0u);
    EXPECT_EQ(xfclose(nullptr), 0);
    EXPECT_EQ(xeof(nullptr), 0);
}

TEST_F(StreamFiles, LongPathsAndMarkersInsideTheNameAreOrdinaryFiles) {
    // A path of more than 255 characters is opened whole, not cut into another name.
    fs::path deep = dir_;
    for (int i = 0; i < 3; i++) deep /= std::string(100, char('a' + i));
    fs::create_directories(deep);
    const std::string path = (deep / "vna.cal").string();
    ASSERT_GT(path.size(), size_t(XF_NAME_SIZE));
    round_trip(path, {1.5f, -2.0f, 3.25f});
    EXPECT_TRUE(fs::exists(path));
    auto last_name = [] {
        std::lock_guard<std::mutex> g(sem_find());
        return std::string(NAME);
    };
    EXPECT_EQ(last_name(), path.substr(0, XF_NAME_SIZE - 1));  // the kept copy is cut
    xfopen(("TCP:" + std::string(2000, 'h')).c_str(), 0);
    EXPECT_EQ(FMODE.load(), XF_TCP_CLIENT);
    EXPECT_EQ(last_name().size(), size_t(XF_NAME_SIZE - 1));

    const std::string marked = (dir_ / "TCP:SERVER 502").string();
    round_trip(marked, {7.0f});
    EXPECT_TRUE(fs::exists(marked));
}

TEST_F(StreamFiles, ArgumentsThatDoNotFitTheKindAreRefused) {
    const std::string path = (dir_ / "x.bin").string();
    EXPECT_EQ(xfopen(path.c_str(), 5), nullptr);            // a file needs a mode string
    EXPECT_EQ(xfopen(path.c_str(), static_cast<const char*>(nullptr)), nullptr);
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(xfopen("TCP:127.0.0.1", "rb"), nullptr);     // a client needs a port
    EXPECT_EQ(xfopen("TCP:127.0.0.1", 0), nullptr);
    EXPECT_EQ(xfopen("TCP:127.0.0.1", 70000), nullptr);
    EXPECT_EQ(xfopen("UDP:127.0.0.1", -1), nullptr);
    EXPECT_EQ(xfopen("UDP:localhost", 9), nullptr);        // UDP takes a dotted address
    EXPECT_EQ(xfopen("TCP:", 9), nullptr);                 // no host at all
    EXPECT_EQ(xfopen("TCP-SERVER:0", 5), nullptr);         // a port in the name and as mode
    EXPECT_EQ(xfopen("TCP-SERVER:x1", 0), nullptr);
    EXPECT_EQ(xfopen("UDP-SERVER:70000", 0), nullptr);
    EXPECT_EQ(xfopen("UDP-SERVER:0", 3), nullptr);
    EXPECT_EQ(xfopen("TCP-SERVER:", 70000), nullptr);
}

}  // namespace
