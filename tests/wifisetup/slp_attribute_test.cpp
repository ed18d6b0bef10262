// The attribute value taken from an SLP reply, over received bytes of every shape, and the request.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "NetworkChecks.h"

namespace {

struct Extracted {
    bool found;
    std::string value;
};
Extracted extract(const std::string& bytes) {
    // The bytes alone in a block of their own size, so ASan sees any read past them.
    std::vector<uint8_t> copy(bytes.begin(), bytes.end());
    char value[256];
    std::memset(value, 'X', sizeof value);
    const bool found = ExtractSlpAttribute(copy.data(), copy.size(), "x-ip-addr=", value);
    return {found, value};
}

}  // namespace

TEST(ExtractSlpAttribute, ValueUpToTheParenthesisWithinTheWindowOnly) {
    struct Row {
        const char* what;
        std::string bytes;
        bool found;
        std::string value;
    };
    const std::string v31(31, '1'), v32(32, '2');
    const Row rows[] = {
        {"match", "(x-ip-addr=fe80::1),(other=1)", true, "fe80::1"},
        {"empty value", "(x-ip-addr=)", true, ""},
        {"31 characters", "(x-ip-addr=" + v31 + ")", true, v31},
        {"32 characters", "(x-ip-addr=" + v32 + ")", false, ""},
        {"no ')'", "(x-ip-addr=fe80::1", false, ""},
        {"')' only in a later attribute past the window", "(x-ip-addr=" + v32 + "),(b=1)", false, ""},
        {"key at the end", "(other=1),x-ip-addr=", false, ""},
        {"no key", "(other=1)", false, ""},
        {"two keys: the first", "(x-ip-addr=a),(x-ip-addr=b)", true, "a"},
        // A reply's header holds NUL bytes before its attributes.
        {"key after a NUL", std::string("\x02\x07\0\0\x30(x-ip-addr=a)", 18), true, "a"},
        {"NUL before the ')'", std::string("(x-ip-addr=a\0)", 15), false, ""},
        {"1024 bytes without NUL", std::string(1024, 'x'), false, ""},
        {"1024 bytes, key near the end", std::string(1010, 'x') + "x-ip-addr=abc)", true, "abc"},
        {"window runs past the bytes", std::string(1010, 'x') + "x-ip-addr=abcd", false, ""},
        {"1 byte", "(", false, ""},
        {"nothing", "", false, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const Extracted got = extract(row.bytes);
        EXPECT_EQ(got.found, row.found);
        EXPECT_EQ(got.value, row.value);
    }
}

TEST(SlpPrinterAttributeRequest, IsTheFiftySixBytesOfTheLayout) {
    // Typed from the request layout, field by field.
    const uint8_t expected[56] = {
        0x02, 0x06, 0x00, 0x00, 0x38, 0x20, 0x00, 0x00, 0x00, 0x00, 0x31, 0xCC, 0x00, 0x02, 'e', 'n',
        0x00, 0x00, 0x00, 0x17, 's', 'e', 'r', 'v', 'i', 'c', 'e', ':', 'p', 'r', 'i', 'n', 't', 'e',
        'r', ':', 'r', 'a', 'w', '-', 't', 'c', 'p', 0x00, 0x07, 'D', 'E', 'F', 'A', 'U', 'L', 'T',
        0x00, 0x00, 0x00, 0x00,
    };
    const SlpAttributeRequest& request = SlpPrinterAttributeRequest();
    EXPECT_EQ(std::vector<uint8_t>(request.begin(), request.end()), std::vector<uint8_t>(expected, expected + 56));
}
