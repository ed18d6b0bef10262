// UTF-16 and the code pages: MultiByteToWideChar and WideCharToMultiByte on the machine's code page
// (1252 and 936) and on UTF-8.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <optional>
#include <string>

#include "platform/testing/machine.h"
#include "win/kernel.h"

namespace {

using platform::testing::Machine;

// Decodes through the size query and then the real call; nothing when the call fails (error in `error`).
std::optional<std::u16string> decode(UINT codePage, DWORD flags, std::string_view bytes, DWORD* error) {
    int srcLen = static_cast<int>(bytes.size());
    SetLastError(0xDEADBEEF);
    int needed = MultiByteToWideChar(codePage, flags, bytes.data(), srcLen, nullptr, 0);
    *error = GetLastError();
    if (needed == 0) return std::nullopt;
    std::u16string out(static_cast<size_t>(needed), u'\xCCCC');
    int written = MultiByteToWideChar(codePage, flags, bytes.data(), srcLen, out.data(), needed);
    EXPECT_EQ(written, needed) << "the size query and the conversion disagree";
    return out;
}

struct Encoded {
    std::string bytes;
    BOOL usedDefault;
};
std::optional<Encoded> encode(UINT codePage, DWORD flags, std::u16string_view text, const char* defaultChar,
                              bool askUsedDefault, DWORD* error) {
    int srcLen = static_cast<int>(text.size());
    BOOL used = 7;
    SetLastError(0xDEADBEEF);
    int needed =
        WideCharToMultiByte(codePage, flags, text.data(), srcLen, nullptr, 0, defaultChar, askUsedDefault ? &used : nullptr);
    *error = GetLastError();
    if (needed == 0) return std::nullopt;
    std::string out(static_cast<size_t>(needed), '\xCC');
    used = 7;
    int written = WideCharToMultiByte(codePage, flags, text.data(), srcLen, out.data(), needed, defaultChar,
                                      askUsedDefault ? &used : nullptr);
    EXPECT_EQ(written, needed) << "the size query and the conversion disagree";
    return Encoded{out, used};
}

TEST(CodePages, MachineSettingChoosesTheAnsiCodePage) {
    Machine machine({.codePage = 1252});
    EXPECT_EQ(GetACP(), 1252u);
    platform::setMachineSettings({.codePage = 936});
    EXPECT_EQ(GetACP(), 936u);
    EXPECT_EQ(platform::machineSettings().codePage, 936u);
}

TEST(CodePages, MultiByteToWideChar) {
    constexpr DWORD kStrict = MB_ERR_INVALID_CHARS;
    struct Case {
        UINT acp;
        UINT codePage;
        DWORD flags;
        std::string bytes;
        std::optional<std::u16string> expected;  // nothing: fails with ERROR_NO_UNICODE_TRANSLATION
    };
    const Case cases[] = {
        {1252, CP_ACP, 0, "caf\xe9 \x80 \x96", u"caf\u00e9 \u20ac \u2013"},
        {1252, CP_ACP, kStrict, "caf\xe9", u"caf\u00e9"},
        {1252, CP_ACP, 0, "a\x81z", u"a\u0081z"},  // a hole of 1252 keeps its byte value
        {1252, 936, 0, "\xd6\xd0\xce\xc4", u"\u4e2d\u6587"},  // an explicit code page beats the machine's
        {936, CP_ACP, 0, "A\xd6\xd0\xce\xc4z", u"A\u4e2d\u6587z"},
        {936, CP_ACP, kStrict, "\xd6\xd0", u"\u4e2d"},
        {936, CP_ACP, 0, "A\xd6", u"A\ufffd"},  // a lead byte without its trail byte
        {936, CP_ACP, kStrict, "A\xd6", std::nullopt},
        {936, 1252, 0, "\xe9", u"\u00e9"},
        {1252, CP_UTF8, 0, "\xe4\xb8\xad\xc3\xa9", u"\u4e2d\u00e9"},
        {1252, CP_UTF8, 0, "\xf0\x9f\x96\xa8", u"\U0001F5A8"},  // outside the BMP: a surrogate pair
        {1252, CP_UTF8, 0, "a\xff" "b", u"a\ufffd" u"b"},
        {1252, CP_UTF8, kStrict, "a\xff" "b", std::nullopt},
        {1252, CP_UTF8, kStrict, "ab\xe4\xb8", std::nullopt},  // cut in the middle of a character
        {1252, CP_UTF8, kStrict, "\xc0\xaf", std::nullopt},    // overlong form of '/'
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("acp " + std::to_string(c.acp) + " cp " + std::to_string(c.codePage) + " flags " +
                     std::to_string(c.flags) + " bytes \"" + c.bytes + "\"");
        Machine machine({.codePage = c.acp});
        DWORD error = 0;
        auto wide = decode(c.codePage, c.flags, c.bytes, &error);
        if (c.expected) {
            ASSERT_TRUE(wide.has_value()) << "error " << error;
            EXPECT_EQ(*wide, *c.expected);
        } else {
            EXPECT_FALSE(wide.has_value());
            EXPECT_EQ(error, static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
        }
    }
}

TEST(CodePages, WideCharToMultiByte) {
    struct Case {
        UINT acp;
        UINT codePage;
        DWORD flags;
        std::u16string text;
        const char* defaultChar;
        std::optional<std::string> expected;  // nothing: fails with ERROR_NO_UNICODE_TRANSLATION
        BOOL usedDefault;
    };
    const Case cases[] = {
        {1252, CP_ACP, 0, u"caf\u00e9 \u20ac", nullptr, "caf\xe9 \x80", FALSE},
        {1252, CP_ACP, 0, u"a\u4e2d" u"b", nullptr, "a?b", TRUE},
        {1252, CP_ACP, WC_NO_BEST_FIT_CHARS, u"a\u4e2d" u"b", "*", "a*b", TRUE},
        {1252, CP_ACP, 0, u"x\xd800y", nullptr, "x?y", TRUE},  // a lone surrogate is unmappable
        {936, CP_ACP, 0, u"A\u4e2d\u6587", nullptr, "A\xd6\xd0\xce\xc4", FALSE},
        {936, CP_ACP, 0, u"\u0e01\u4e2d", nullptr, "?\xd6\xd0", TRUE},
        {936, 1252, 0, u"\u00e9", nullptr, "\xe9", FALSE},
        {1252, CP_UTF8, 0, u"\u4e2d\u00e9\U0001F5A8", nullptr, "\xe4\xb8\xad\xc3\xa9\xf0\x9f\x96\xa8", FALSE},
        {1252, CP_UTF8, 0, u"a\xdc00" u"b", nullptr, "a\xef\xbf\xbd" "b", FALSE},
        {1252, CP_UTF8, WC_ERR_INVALID_CHARS, u"a\xdc00" u"b", nullptr, std::nullopt, FALSE},
        {1252, CP_UTF8, WC_ERR_INVALID_CHARS, u"\u4e2d", nullptr, "\xe4\xb8\xad", FALSE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("acp " + std::to_string(c.acp) + " cp " + std::to_string(c.codePage) + " expecting \"" +
                     c.expected.value_or("<failure>") + "\"");
        Machine machine({.codePage = c.acp});
        DWORD error = 0;
        auto narrow = encode(c.codePage, c.flags, c.text, c.defaultChar, c.codePage != CP_UTF8, &error);
        if (c.expected) {
            ASSERT_TRUE(narrow.has_value()) << "error " << error;
            EXPECT_EQ(narrow->bytes, *c.expected);
            if (c.codePage != CP_UTF8) {
                EXPECT_EQ(narrow->usedDefault, c.usedDefault);
            }
        } else {
            EXPECT_FALSE(narrow.has_value());
            EXPECT_EQ(error, static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
        }
    }
}

TEST(CodePages, TerminatedInputCountsItsNulAndShortBuffersFail) {
    Machine machine({.codePage = 1252});
    // -1: the terminator is converted and counted.
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "caf\xe9", -1, nullptr, 0), 5);
    WCHAR wide[8];
    std::fill(std::begin(wide), std::end(wide), u'#');
    ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, "caf\xe9", -1, wide, 5), 5);
    EXPECT_EQ(std::u16string(wide, 5), std::u16string(u"caf\u00e9\0", 5));

    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\u4e2d", -1, nullptr, 0, nullptr, nullptr), 4);
    char narrow[8];
    ASSERT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\u4e2d", -1, narrow, 4, nullptr, nullptr), 4);
    EXPECT_EQ(std::string(narrow, 4), std::string("\xe4\xb8\xad\0", 4));

    // One unit or byte short.
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "caf\xe9", -1, wide, 4), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\u4e2d", -1, narrow, 3, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"\u4e2d\u4e2d", 2, narrow, 1, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST(CodePages, BadArgumentsAreRefused) {
    Machine machine;
    WCHAR wide[4];
    char narrow[4];
    BOOL used = FALSE;
    auto check = [](const char* what, auto call) {
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(call(), 0) << what;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << what;
    };
    check("empty multi-byte input", [&] { return MultiByteToWideChar(CP_ACP, 0, "a", 0, wide, 4); });
    check("null multi-byte input", [&] { return MultiByteToWideChar(CP_ACP, 0, nullptr, 1, wide, 4); });
    check("unknown code page", [&] { return MultiByteToWideChar(12345, 0, "a", 1, wide, 4); });
    check("room without a buffer", [&] { return MultiByteToWideChar(CP_ACP, 0, "a", 1, nullptr, 4); });
    check("empty wide input", [&] { return WideCharToMultiByte(CP_ACP, 0, u"a", 0, narrow, 4, nullptr, nullptr); });
    check("unknown code page (wide)",
          [&] { return WideCharToMultiByte(12345, 0, u"a", 1, narrow, 4, nullptr, nullptr); });
    check("UTF-8 with a default char",
          [&] { return WideCharToMultiByte(CP_UTF8, 0, u"a", 1, narrow, 4, "?", nullptr); });
    check("UTF-8 asking for used default",
          [&] { return WideCharToMultiByte(CP_UTF8, 0, u"a", 1, narrow, 4, nullptr, &used); });
}

TEST(WideStrings, LstrHelpers) {
    EXPECT_EQ(lstrlenW(nullptr), 0);
    EXPECT_EQ(lstrlenW(u"Rastrel"), 7);
    WCHAR buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    lstrcpynW(buffer, u"abcdef", 4);
    EXPECT_EQ(std::u16string(buffer), u"abc");  // cut and always terminated
    lstrcpynW(buffer, nullptr, 4);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(lstrcmpiW(u"Office LASER", u"office laser"), 0);
    EXPECT_EQ(lstrcmpiW(u"\u00c4rger", u"\u00e4RGER"), 0);
    EXPECT_LT(lstrcmpiW(u"apple", u"Banana"), 0);
    EXPECT_GT(lstrcmpiW(u"b", nullptr), 0);
}

}  // namespace
