// Stream names of xfopen, taken apart without opening anything: the kind comes from the
// marker at the very start, the name part stays inside its 256 bytes and is the text
// after the marker, and a server's port is the number that text spells or a refusal.
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "platform/streams.h"

namespace {

constexpr size_t CAP = 4096;

bool network(uint32_t kind) { return kind != XF_FILE; }
bool server(uint32_t kind) { return kind == XF_TCP_SERVER || kind == XF_UDP_SERVER; }

// The marker lengths, longest first among those that share a start.
size_t marker_length(std::string_view s, uint32_t kind) {
    for (std::string_view m : {"TCP-PORT:", "UDP-PORT:", "TCP_PORT:", "UDP_PORT:", "TCP-SERVER:", "UDP-SERVER:",
                               "TCP:SERVER", "UDP:SERVER", "TCP:", "UDP:"})
        if (s.starts_with(m)) {
            const bool tcp = m[0] == 'T';
            const uint32_t want = m.size() == 4 ? (tcp ? XF_TCP_CLIENT : XF_UDP_CLIENT)
                                                : (tcp ? XF_TCP_SERVER : XF_UDP_SERVER);
            FUZZ_CHECK(kind == want);
            return m.size();
        }
    FUZZ_CHECK(kind == XF_FILE);
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > CAP) return -1;
    const std::string name = fuzz::text(data, size);
    const std::string_view s(name.c_str());  // as a C string: up to the first NUL
    const XF_NAME n = xf_parse_name(name.c_str());
    const size_t len = strnlen(n.name, sizeof n.name);
    FUZZ_CHECK(len < sizeof n.name);
    const std::string_view part = s.substr(marker_length(s, n.kind));
    const std::string_view got(n.name, len);
    if (!network(n.kind)) {
        FUZZ_CHECK(got == part.substr(0, XF_NAME_SIZE - 1));
        FUZZ_CHECK(n.block == -1 && n.port == -1);
        return 0;
    }
    FUZZ_CHECK(got.find('<') == std::string_view::npos);
    FUZZ_CHECK(part.find(got) != std::string_view::npos);
    const size_t cut = part.find('<');
    const std::string_view options = cut == std::string_view::npos ? "" : part.substr(cut);
    FUZZ_CHECK(n.block == (options.starts_with("<noblock") ? 0 : options.starts_with("<block") ? 1 : -1));
    if (!server(n.kind)) {
        FUZZ_CHECK(n.port == -1);
        return 0;
    }
    FUZZ_CHECK(n.port >= -2 && n.port <= 65535);
    if (n.port >= 0) FUZZ_CHECK(std::stoi(std::string(got)) == n.port);
    if (n.port == -1) FUZZ_CHECK(got.find_first_not_of(" \t") == std::string_view::npos);
    // The same name twice gives the same answer (no state kept between calls).
    const XF_NAME again = xf_parse_name(name.c_str());
    FUZZ_CHECK(std::memcmp(&again, &n, sizeof n) == 0);
    return 0;
}
