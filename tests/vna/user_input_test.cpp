// What a message shows of a token the user gave. (Reading and writing the user's files is
// tested through the calibration files, the Touchstone reader, vna-sim and vna-cli.)
#include "vna/user_input.h"

#include <gtest/gtest.h>

using namespace std::string_literals;

TEST(UserInput, PrintableEscapesAndCuts) {
    const std::pair<std::string, std::string> cases[] = {
        {"\x1b[2J\x07\x7f", "\\x1b[2J\\x07\\x7f"},
        {"a\0b\tc\r\n"s, "a\\0b\\tc\\r\\n"},
        {"back\\slash", "back\\\\slash"},
        {"\xc3\xa9t\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\x88", "\xc3\xa9t\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\x88"},
        // Invalid UTF-8 (a cut sequence, an overlong form, a surrogate); valid, but acting on
        // the terminal or the text's direction.
        {"\xff\xc3\xc0\xaf\xed\xa0\x80", "\\xff\\xc3\\xc0\\xaf\\xed\\xa0\\x80"},
        {"\xc2\x9b" "31m\xe2\x80\xae", "\\u009b31m\\u202e"},
        {std::string(60, 'x'), std::string(60, 'x')},
        {std::string(59, 'x') + "\xce\xa9\xce\xa9", std::string(59, 'x') + "\xce\xa9..."},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(vna_printable(in), out) << in;
}
