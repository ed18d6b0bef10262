// CString and CStringArray: formatting, pieces and searches clamped as the framework clamps them,
// buffers, resource strings from a language library, and arrays with bad indexes.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "afx/afxstr.h"
#include "platform/control.h"
#include "platform/testing/machine.h"
#include "rescomp/writer.h"

void PrintTo(const CString& s, std::ostream* os) { *os << '"' << platform::toUtf8(s.GetString()) << '"'; }

namespace {

using platform::testing::Machine;

static_assert(std::is_same_v<TCHAR, char16_t>);
static_assert(std::is_same_v<LPCTSTR, const char16_t*>);

std::string utf8(const CString& s) { return platform::toUtf8(std::u16string_view(s.GetString(), s.GetLength())); }

template <typename... A>
CString formatted(LPCWSTR format, A... args) {
    CString s(u"old text");
    s.Format(format, args...);
    return s;
}

class Strings : public ::testing::Test {
protected:
    Machine machine;  // code page 1252
};

// ---- Format -------------------------------------------------------------------------------------

struct FormatCase {
    const char16_t* expected;
    CString actual;
    int line;
};

TEST_F(Strings, FormatFollowsTheRuntimesConversions) {
    int one = 1;
    const FormatCase cases[] = {
        // integers: widths, flags, precision, star arguments
        {u"42", formatted(u"%d", 42), __LINE__},
        {u"  -42", formatted(u"%5d", -42), __LINE__},
        {u"42   |", formatted(u"%-5d|", 42), __LINE__},
        {u"-0042", formatted(u"%05d", -42), __LINE__},
        {u"+7| 7", formatted(u"%+d|% d", 7, 7), __LINE__},
        {u"  007", formatted(u"%5.3d", 7), __LINE__},
        {u"   07", formatted(u"%05.2d", 7), __LINE__},
        {u"    42", formatted(u"%*d", 6, 42), __LINE__},
        {u"1   |", formatted(u"%*d|", -4, 1), __LINE__},
        {u"-2147483648", formatted(u"%i", INT_MIN), __LINE__},
        {u"4294967295", formatted(u"%u", -1), __LINE__},
        {u"ff 0XFF 0", formatted(u"%x %#X %#x", 255, 255, 0), __LINE__},
        {u"10 010", formatted(u"%o %#o", 8, 8), __LINE__},
        // length modifiers: l is 32 bits as on Windows, I64/ll 64 bits, h truncates
        {u"-5 4294967295", formatted(u"%ld %lu", static_cast<LONG>(-5), static_cast<DWORD>(0xFFFFFFFF)), __LINE__},
        {u"-9223372036854775808", formatted(u"%I64d", INT64_MIN), __LINE__},
        {u"18446744073709551615", formatted(u"%I64u", UINT64_MAX), __LINE__},
        {u"123456789ABCDEF0", formatted(u"%I64X", static_cast<ULONGLONG>(0x123456789ABCDEF0ull)), __LINE__},
        {u"-1234567890123", formatted(u"%lld", -1234567890123ll), __LINE__},
        {u"-7 7", formatted(u"%I32d %I32u", -7, 7u), __LINE__},
        {u"4464 -1", formatted(u"%hd %hhd", 70000, 255), __LINE__},
        {u"5000000000 5000000000", formatted(u"%zu %Iu", static_cast<size_t>(5000000000ull),
                                             static_cast<size_t>(5000000000ull)), __LINE__},
        // floating point
        {u"1.500000", formatted(u"%f", 1.5), __LINE__},
        {u"  -1.500", formatted(u"%8.3f", -1.5), __LINE__},
        {u"3.14", formatted(u"%.*f", 2, 3.14159), __LINE__},
        {u"1.23e+04 1.23E+04", formatted(u"%.2e %.2E", 12345.678, 12345.678), __LINE__},
        {u"0.0001 1E-10 100000 1e+06", formatted(u"%g %G %g %g", 0.0001, 1e-10, 100000.0, 1e6), __LINE__},
        {u"+0003.5", formatted(u"%+07.1f", 3.5), __LINE__},
        // characters
        {u"A\u00e9", formatted(u"%c%c", u'A', u'\u00e9'), __LINE__},
        {u"\u00e9|  x|y  |", formatted(u"%C|%3c|%-3lc|", '\xe9', u'x', u'y'), __LINE__},
        {u"Z", formatted(u"%hc", 'Z'), __LINE__},
        // strings: %s/%ls wide, %S/%hs narrow in the machine's code page, (null), precision, width
        {u"wide text", formatted(u"%s %ls", u"wide", u"text"), __LINE__},
        {u"caf\u00e9 \u00e0 la carte", formatted(u"%S %hs", "caf\xe9", "\xe0 la carte"), __LINE__},
        {u"(null) (null)", formatted(u"%s %S", static_cast<LPCWSTR>(nullptr), static_cast<const char*>(nullptr)),
         __LINE__},
        {u"(nu", formatted(u"%.3s", static_cast<LPCWSTR>(nullptr)), __LINE__},
        {u"abc|ca", formatted(u"%.3s|%.2S", u"abcdef", "caf\xe9"), __LINE__},
        {u"  ab|ab  |", formatted(u"%4s|%-4s|", u"ab", u"ab"), __LINE__},
        {u"[\u00e9t\u00e9]", formatted(u"[%ws]", u"\u00e9t\u00e9"), __LINE__},
        // pointers, percent signs, and what the runtime does not know
        {u"0000000000001234", formatted(u"%p", reinterpret_cast<void*>(0x1234)), __LINE__},
        {u"100%", formatted(u"%d%%", 100), __LINE__},
        {u"%y 5", formatted(u"%y %d", 5), __LINE__},
        {u"%n", formatted(u"%n", &one), __LINE__},
        {u"cut %5", formatted(u"cut %5"), __LINE__},
        {u"end %", formatted(u"end %"), __LINE__},
        {u"", formatted(nullptr), __LINE__},
        {u"Job \u00ab2\u00bb: 3 of 10 pages (30.0%)",
         formatted(u"%s \u00ab%d\u00bb: %d of %u pages (%.1f%%)", u"Job", 2, 3, 10u, 30.0), __LINE__},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(utf8(c.actual), platform::toUtf8(c.expected)) << "case at line " << c.line;
        EXPECT_EQ(c.actual.GetLength(), static_cast<int>(std::char_traits<char16_t>::length(c.expected)))
            << "case at line " << c.line;
    }
}

TEST_F(Strings, HugeWidthsAreCapped) {
    CString s = formatted(u"%2000000d|%.*s", 1, 3000000, u"xy");
    EXPECT_EQ(s.GetLength(), 1000000 + 1 + 2);
    EXPECT_EQ(s.Right(4), u"1|xy");
}

TEST(StringCodePages, NarrowTextFollowsTheMachineCodePage) {
    platform::MachineSettings settings;
    settings.codePage = 936;
    Machine machine(settings);
    EXPECT_EQ(formatted(u"%S|%hc", "\xd6\xd0\xce\xc4", 'A'), u"\u4e2d\u6587|A");
    EXPECT_EQ(CString("\xd6\xd0"), u"\u4e2d");
}

TEST_F(Strings, AppendFormatAppendsAndFormatMayUseItsOwnText) {
    CString s(u"a");
    s.AppendFormat(u"-%d-%s", 1, u"b");
    s.AppendFormat(u"%c", u'!');
    EXPECT_EQ(s, u"a-1-b!");
    s.Format(u"[%s|%d]", s.GetString(), s.GetLength());
    EXPECT_EQ(s, u"[a-1-b!|6]");
    s.Format(s.GetString());
    EXPECT_EQ(s, u"[a-1-b!|6]");
}

// ---- Construction, characters, comparison -------------------------------------------------------

TEST_F(Strings, ConstructionFromEveryKindOfText) {
    EXPECT_EQ(CString(), u"");
    EXPECT_EQ(CString(static_cast<LPCWSTR>(nullptr)), u"");
    EXPECT_EQ(CString(static_cast<const char*>(nullptr)), u"");
    EXPECT_EQ(CString("caf\xe9"), u"caf\u00e9");
    EXPECT_EQ(CString(_T("tchar")), u"tchar");
    EXPECT_EQ(CString(u"abcdef", 3), u"abc");
    EXPECT_EQ(CString(u"abc", -1), u"");
    EXPECT_EQ(CString(static_cast<LPCWSTR>(nullptr), 5), u"");
    EXPECT_EQ(CString(u'x', 3), u"xxx");
    EXPECT_EQ(CString(u'x', -2), u"");
    EXPECT_EQ(CString(std::u16string_view(u"view")), u"view");

    CString embedded(u"a\0b", 3);
    EXPECT_EQ(embedded.GetLength(), 3);
    EXPECT_EQ(embedded.GetAt(2), u'b');
    EXPECT_NE(embedded, CString(u"a\0c", 3));
    EXPECT_EQ(embedded.GetString()[3], u'\0');

    CString from(u"moved");
    CString to(std::move(from));
    EXPECT_EQ(to, u"moved");
    EXPECT_TRUE(from.IsEmpty());  // a moved-from string is left empty
    from = std::move(to);
    EXPECT_EQ(from, u"moved");
    EXPECT_TRUE(to.IsEmpty());

    CString s;
    s = "\xe0";
    EXPECT_EQ(s, u"\u00e0");
    s = u'q';
    EXPECT_EQ(s, u"q");
    s = std::u16string(u"string");
    EXPECT_EQ(s, u"string");
    s = static_cast<LPCWSTR>(nullptr);
    EXPECT_TRUE(s.IsEmpty());
    s = u"self";
    s = s.GetString() + 1;
    EXPECT_EQ(s, u"elf");
}

TEST_F(Strings, IndexesOutOfRangeAnswerNulAndChangeNothing) {
    CString s(u"abc");
    for (int index : {-1, 3, 4, INT_MIN, INT_MAX}) {
        EXPECT_EQ(s.GetAt(index), u'\0') << index;
        EXPECT_EQ(s[index], u'\0') << index;
        s.SetAt(index, u'Z');
        EXPECT_EQ(s, u"abc") << index;
    }
    s.SetAt(1, u'B');
    EXPECT_EQ(s[1], u'B');
    EXPECT_EQ(s, u"aBc");
    s.Empty();
    EXPECT_TRUE(s.IsEmpty());
    EXPECT_EQ(s.GetString()[0], u'\0');
}

TEST_F(Strings, ComparisonsWithStringsAndPointersOnEitherSide) {
    CString apple(u"apple"), banana(u"banana");
    EXPECT_TRUE(apple == u"apple" && u"apple" == apple && apple == CString(u"apple"));
    EXPECT_TRUE(apple != u"Apple" && u"Apple" != apple && apple != banana);
    EXPECT_TRUE(apple < banana && apple < u"banana" && u"aardvark" < apple);
    EXPECT_TRUE(banana > apple && banana > u"apple" && u"cherry" > banana);
    EXPECT_TRUE(apple <= u"apple" && u"apple" <= apple && apple <= banana);
    EXPECT_TRUE(apple >= u"apple" && u"zebra" >= apple && banana >= apple);
    EXPECT_FALSE(apple < u"apple" || apple > u"apple");
    EXPECT_GT(CString(u"a").Compare(nullptr), 0);
    EXPECT_EQ(CString().Compare(nullptr), 0);
    EXPECT_LT(CString(u"Z").Compare(u"a"), 0);  // ordinal: upper case first
    EXPECT_EQ(CString(u"\u00c9t\u00c9").CompareNoCase(u"\u00e9T\u00e9"), 0);
    EXPECT_LT(CString(u"Apple").CompareNoCase(u"banana"), 0);
    EXPECT_GT(CString(u"cherry").CompareNoCase(u"BANANA"), 0);

    std::map<CString, int> sorted{{u"b", 2}, {u"a", 1}, {u"c", 3}};
    EXPECT_EQ(sorted.begin()->first, u"a");
}

TEST_F(Strings, ConcatenationOfEveryCombination) {
    CString a(u"ab");
    EXPECT_EQ(a + CString(u"cd"), u"abcd");
    EXPECT_EQ(a + u"cd", u"abcd");
    EXPECT_EQ(u"cd" + a, u"cdab");
    EXPECT_EQ(a + u'!', u"ab!");
    EXPECT_EQ(u'!' + a, u"!ab");
    EXPECT_EQ(a + static_cast<LPCWSTR>(nullptr), u"ab");
    CString s(u"x");
    s += s;
    s += u"y";
    s += u'z';
    s += "\xe9";
    s += static_cast<LPCWSTR>(nullptr);
    s.Append(u"12345", 2);
    s.Append(u"ab\0cd", 5);
    s.AppendChar(u'.');
    EXPECT_EQ(s, u"xxyz\u00e912ab.");
}

// ---- Pieces -------------------------------------------------------------------------------------

TEST_F(Strings, PiecesAreClampedToTheString) {
    const CString s(u"abcdef");
    struct Case {
        int first, count;
        const char16_t* mid;
    };
    const Case mids[] = {
        {0, 3, u"abc"},  {2, 2, u"cd"},       {4, 10, u"ef"},  {-3, 2, u"ab"},     {6, 1, u""},
        {9, 2, u""},     {2, -1, u""},        {0, 6, u"abcdef"}, {5, INT_MAX, u"f"}, {INT_MIN, INT_MAX, u"abcdef"},
        {INT_MAX, INT_MAX, u""},
    };
    for (const auto& c : mids) EXPECT_EQ(s.Mid(c.first, c.count), c.mid) << c.first << "," << c.count;

    struct OneCase {
        int n;
        const char16_t *mid, *left, *right;
    };
    const OneCase ones[] = {
        {0, u"abcdef", u"", u""},     {2, u"cdef", u"ab", u"ef"}, {6, u"", u"abcdef", u"abcdef"},
        {7, u"", u"abcdef", u"abcdef"}, {-1, u"abcdef", u"", u""}, {INT_MIN, u"abcdef", u"", u""},
        {INT_MAX, u"", u"abcdef", u"abcdef"},
    };
    for (const auto& c : ones) {
        EXPECT_EQ(s.Mid(c.n), c.mid) << c.n;
        EXPECT_EQ(s.Left(c.n), c.left) << c.n;
        EXPECT_EQ(s.Right(c.n), c.right) << c.n;
    }
}

TEST_F(Strings, SpansStopAtTheFirstUnitOutsideOrInsideTheSet) {
    const CString s(u"2024-06-01T10:00");
    EXPECT_EQ(s.SpanIncluding(u"0123456789"), u"2024");
    EXPECT_EQ(s.SpanIncluding(u"-"), u"");
    EXPECT_EQ(s.SpanIncluding(nullptr), u"");
    EXPECT_EQ(s.SpanExcluding(u"T"), u"2024-06-01");
    EXPECT_EQ(s.SpanExcluding(u"xyz"), s);
    EXPECT_EQ(s.SpanExcluding(nullptr), s);
}

// ---- Searching ----------------------------------------------------------------------------------

TEST_F(Strings, FindAnswersPositionsOrMinusOne) {
    const CString s(u"one two one");
    struct CharCase {
        WCHAR ch;
        int start, expected;
    };
    const CharCase chars[] = {
        {u'o', 0, 0}, {u'o', 1, 6}, {u'o', 7, 8}, {u'o', 9, -1}, {u'x', 0, -1},
        {u'e', 10, 10}, {u'e', 11, -1}, {u'o', -1, -1}, {u'o', INT_MAX, -1},
    };
    for (const auto& c : chars) EXPECT_EQ(s.Find(c.ch, c.start), c.expected) << char(c.ch) << "@" << c.start;

    struct TextCase {
        LPCWSTR sub;
        int start, expected;
    };
    const TextCase texts[] = {
        {u"one", 0, 0}, {u"one", 1, 8},  {u"two", 5, -1}, {u"", 4, 4},  {u"", 11, 11},
        {u"", 12, -1},  {nullptr, 0, -1}, {u"one", -2, -1}, {u"one two one!", 0, -1},
    };
    for (const auto& c : texts) EXPECT_EQ(s.Find(c.sub, c.start), c.expected) << c.start;

    EXPECT_EQ(s.ReverseFind(u'o'), 8);
    EXPECT_EQ(s.ReverseFind(u'x'), -1);
    EXPECT_EQ(CString().ReverseFind(u'x'), -1);
    EXPECT_EQ(s.FindOneOf(u"wt"), 4);
    EXPECT_EQ(s.FindOneOf(u"xyz"), -1);
    EXPECT_EQ(s.FindOneOf(u""), -1);
    EXPECT_EQ(s.FindOneOf(nullptr), -1);
}

TEST_F(Strings, TokenizeWalksTokensBetweenDelimiters) {
    const CString s(u"  alpha,,beta ;gamma;");
    std::vector<std::string> tokens;
    std::vector<int> starts;
    int start = 0;
    for (CString token = s.Tokenize(u", ;", start); start != -1; token = s.Tokenize(u", ;", start)) {
        tokens.push_back(utf8(token));
        starts.push_back(start);
    }
    EXPECT_EQ(tokens, (std::vector<std::string>{"alpha", "beta", "gamma"}));
    EXPECT_EQ(starts, (std::vector<int>{8, 14, 21}));

    struct Case {
        LPCWSTR text, tokens;
        int start;
        const char16_t* token;
        int next;
    };
    const Case cases[] = {
        {u"a b", u" ", 0, u"a", 2},         {u"a b", u" ", 2, u"b", 4},      {u"a b", u" ", 3, u"", -1},
        {u";;;", u";", 0, u"", -1},         {u"", u";", 0, u"", -1},         {u"a b", u" ", -1, u"", -1},
        {u"a b", u"", 1, u" b", 4},         {u"a b", nullptr, 0, u"a b", 4}, {u"a b", u" ", INT_MAX, u"", -1},
    };
    for (const auto& c : cases) {
        int at = c.start;
        EXPECT_EQ(CString(c.text).Tokenize(c.tokens, at), c.token) << platform::toUtf8(c.text) << "@" << c.start;
        EXPECT_EQ(at, c.next) << platform::toUtf8(c.text) << "@" << c.start;
    }
}

// ---- Changing -----------------------------------------------------------------------------------

TEST_F(Strings, ReplaceAndRemoveCountWhatTheyChanged) {
    struct Case {
        LPCWSTR text, from, to;
        int count;
        const char16_t* result;
    };
    const Case cases[] = {
        {u"a.b.c", u".", u"::", 2, u"a::b::c"}, {u"aaaa", u"aa", u"a", 2, u"aa"},
        {u"aaa", u"aa", u"b", 1, u"ba"},        {u"abc", u"x", u"y", 0, u"abc"},
        {u"abc", u"", u"y", 0, u"abc"},         {u"abc", nullptr, u"y", 0, u"abc"},
        {u"a-b-c", u"-", nullptr, 2, u"abc"},    {u"a-b", u"-", u"--", 1, u"a--b"},
        {u"", u"a", u"b", 0, u""},
    };
    for (const auto& c : cases) {
        CString s(c.text);
        EXPECT_EQ(s.Replace(c.from, c.to), c.count) << platform::toUtf8(c.text);
        EXPECT_EQ(s, c.result) << platform::toUtf8(c.text);
    }

    CString s(u"banana");
    EXPECT_EQ(s.Replace(u'a', u'o'), 3);
    EXPECT_EQ(s, u"bonono");
    EXPECT_EQ(s.Replace(u'o', u'o'), 0);
    EXPECT_EQ(s.Remove(u'n'), 2);
    EXPECT_EQ(s, u"booo");
    EXPECT_EQ(s.Remove(u'x'), 0);

    CString self(u"ab");
    EXPECT_EQ(self.Replace(self.GetString(), u"[ab]"), 1);
    EXPECT_EQ(self, u"[ab]");
    EXPECT_EQ(self.Replace(u"ab", self.GetString()), 1);
    EXPECT_EQ(self, u"[[ab]]");
}

TEST_F(Strings, InsertAndDeleteClampTheirPositions) {
    struct Case {
        int index;
        const char16_t *withChar, *withText;
    };
    const Case inserts[] = {
        {0, u"_abc", u"<>abc"}, {2, u"ab_c", u"ab<>c"}, {3, u"abc_", u"abc<>"},
        {9, u"abc_", u"abc<>"}, {-4, u"_abc", u"<>abc"},
    };
    for (const auto& c : inserts) {
        CString a(u"abc"), b(u"abc");
        EXPECT_EQ(a.Insert(c.index, u'_'), 4);
        EXPECT_EQ(a, c.withChar) << c.index;
        EXPECT_EQ(b.Insert(c.index, u"<>"), 5);
        EXPECT_EQ(b, c.withText) << c.index;
    }
    CString s(u"abc");
    EXPECT_EQ(s.Insert(1, static_cast<LPCWSTR>(nullptr)), 3);
    EXPECT_EQ(s.Insert(1, s.GetString()), 6);
    EXPECT_EQ(s, u"aabcbc");

    struct DeleteCase {
        int index, count;
        const char16_t* result;
    };
    const DeleteCase deletes[] = {
        {0, 1, u"bcdef"}, {2, 2, u"abef"}, {4, 9, u"abcd"},  {-2, 1, u"bcdef"}, {6, 1, u"abcdef"},
        {9, 1, u"abcdef"}, {1, -1, u"abcdef"}, {1, INT_MAX, u"a"}, {INT_MAX, INT_MAX, u"abcdef"},
    };
    for (const auto& c : deletes) {
        CString d(u"abcdef");
        EXPECT_EQ(d.Delete(c.index, c.count), static_cast<int>(std::char_traits<char16_t>::length(c.result)));
        EXPECT_EQ(d, c.result) << c.index << "," << c.count;
    }
}

TEST_F(Strings, TrimmingWhiteSpaceOneUnitOrASet) {
    struct Case {
        LPCWSTR text;
        const char16_t *both, *left, *right;
    };
    const Case spaces[] = {
        {u"  a b \t\r\n", u"a b", u"a b \t\r\n", u"  a b"},
        {u"\u3000\u00a0x\u2003", u"x", u"x\u2003", u"\u3000\u00a0x"},
        {u" \t ", u"", u"", u""},
        {u"", u"", u"", u""},
        {u"x", u"x", u"x", u"x"},
    };
    for (const auto& c : spaces) {
        EXPECT_EQ(CString(c.text).Trim(), c.both);
        EXPECT_EQ(CString(c.text).TrimLeft(), c.left);
        EXPECT_EQ(CString(c.text).TrimRight(), c.right);
    }
    EXPECT_EQ(CString(u"xxaxx").Trim(u'x'), u"a");
    EXPECT_EQ(CString(u"xxaxx").TrimLeft(u'x'), u"axx");
    EXPECT_EQ(CString(u"xxaxx").TrimRight(u'x'), u"xxa");
    EXPECT_EQ(CString(u"-=a=-").Trim(u"=-"), u"a");
    EXPECT_EQ(CString(u"-=a=-").TrimLeft(u"=-"), u"a=-");
    EXPECT_EQ(CString(u"-=a=-").TrimRight(u"=-"), u"-=a");
    EXPECT_EQ(CString(u" a ").Trim(static_cast<LPCWSTR>(nullptr)), u" a ");
    EXPECT_EQ(CString(u" a ").Trim(u""), u" a ");
}

TEST_F(Strings, CaseMappingAndReversal) {
    EXPECT_EQ(CString(u"Stra\u00dfe \u00e9t\u00e9 \u0434\u0430 abc").MakeUpper(),
              u"STRA\u00dfE \u00c9T\u00c9 \u0414\u0410 ABC");
    EXPECT_EQ(CString(u"\u00c0 LA CARTE \u0394").MakeLower(), u"\u00e0 la carte \u03b4");
    EXPECT_EQ(CString(u"a\U0001F600b").MakeUpper(), u"A\U0001F600B");
    EXPECT_EQ(CString(u"abc").MakeReverse(), u"cba");
    EXPECT_EQ(CString().MakeReverse(), u"");
}

// ---- Buffers ------------------------------------------------------------------------------------

TEST_F(Strings, BuffersRoundTripThroughReleaseBuffer) {
    CString s(u"old");
    LPWSTR p = s.GetBuffer(260);
    lstrcpynW(p, u"C:\\Windows", 261);
    s.ReleaseBuffer();
    EXPECT_EQ(s, u"C:\\Windows");
    EXPECT_EQ(s.GetLength(), 10);

    p = s.GetBuffer(2);  // smaller than the text: the text stays
    EXPECT_EQ(std::u16string(p), u"C:\\Windows");
    s.ReleaseBuffer(2);
    EXPECT_EQ(s, u"C:");

    p = s.GetBufferSetLength(4);
    p[2] = u'x';
    p[3] = u'y';
    s.ReleaseBuffer(99);  // clamped to the buffer
    EXPECT_EQ(s, u"C:xy");

    p = s.GetBuffer();
    p[1] = u'\0';
    s.ReleaseBuffer();
    EXPECT_EQ(s, u"C");

    s.GetBufferSetLength(-5);
    s.ReleaseBuffer();
    EXPECT_TRUE(s.IsEmpty());

    p = s.GetBuffer(-1);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p[0], u'\0');
    s.ReleaseBufferSetLength(0);
    EXPECT_TRUE(s.IsEmpty());

    p = CString().GetBuffer(0);
    EXPECT_NE(p, nullptr);
}

// ---- Resource strings ---------------------------------------------------------------------------

class ResourceStrings : public Strings {
protected:
    void SetUp() override {
        platform::resources::ResourceFile file;
        file.strings = {{100, longText()}, {101, u"Page %d of %s"}, {102, u"\u626b\u63cf"}};
        machine.writeFile(u"C:\\Program Files\\Test\\strings.dll", rescomp::writeResourceFile(file));
        module = LoadLibraryW(u"C:\\Program Files\\Test\\strings.dll");
        ASSERT_NE(module, nullptr) << GetLastError();
    }
    void TearDown() override {
        AfxSetResourceHandle(nullptr);
        if (module) FreeLibrary(module);
    }
    static std::u16string longText() {
        std::u16string text;
        for (int i = 0; i < 40; ++i) text += u"line " + std::u16string(1, char16_t(u'A' + i % 26)) + u"; ";
        return text + u"end";
    }
    HMODULE module = nullptr;
};

TEST_F(ResourceStrings, LoadStringReadsWholeStringsFromTheResourceHandle) {
    ASSERT_GT(longText().size(), 255u);
    CString s;
    EXPECT_FALSE(s.LoadString(100));  // the program itself holds no strings
    AfxSetResourceHandle(module);
    ASSERT_TRUE(s.LoadString(100));
    EXPECT_EQ(s.GetLength(), static_cast<int>(longText().size()));
    EXPECT_EQ(std::u16string(s.GetString()), longText());

    s = u"stale";
    EXPECT_FALSE(s.LoadString(999));
    EXPECT_TRUE(s.IsEmpty());

    CString other;
    AfxSetResourceHandle(nullptr);
    EXPECT_TRUE(other.LoadString(module, 102));
    EXPECT_EQ(other, u"\u626b\u63cf");
    EXPECT_FALSE(other.LoadString(nullptr, 102));
    EXPECT_TRUE(other.IsEmpty());
}

TEST_F(ResourceStrings, FormatTakesItsFormatFromTheResourceHandle) {
    AfxSetResourceHandle(module);
    CString s;
    s.Format(101u, 3, u"7");
    EXPECT_EQ(s, u"Page 3 of 7");
    s.Format(998u, 1);
    EXPECT_TRUE(s.IsEmpty());
}

// ---- CStringArray -------------------------------------------------------------------------------

std::vector<std::string> contents(const CStringArray& a) {
    std::vector<std::string> out;
    for (INT_PTR i = 0; i < a.GetSize(); ++i) out.push_back(utf8(a[i]));
    return out;
}

using Lines = std::vector<std::string>;

TEST_F(Strings, ArraysGrowInsertAndRemove) {
    CStringArray a;
    EXPECT_TRUE(a.IsEmpty());
    EXPECT_EQ(a.GetUpperBound(), -1);
    EXPECT_EQ(a.Add(u"a"), 0);
    EXPECT_EQ(a.Add(CString(u"b")), 1);
    EXPECT_EQ(a.Add(u"c"), 2);
    EXPECT_EQ(a.GetCount(), 3);
    EXPECT_EQ(a.GetUpperBound(), 2);

    a.InsertAt(1, u"x", 2);
    EXPECT_EQ(contents(a), (Lines{"a", "x", "x", "b", "c"}));
    a.InsertAt(0, u"first");
    a.InsertAt(a.GetSize(), u"last");
    a.InsertAt(8, u"far");  // beyond the end: grows with empty elements
    EXPECT_EQ(contents(a), (Lines{"first", "a", "x", "x", "b", "c", "last", "", "far"}));
    a.InsertAt(-1, u"never");
    a.InsertAt(0, u"never", 0);
    EXPECT_EQ(a.GetSize(), 9);

    a.RemoveAt(1, 3);
    EXPECT_EQ(contents(a), (Lines{"first", "b", "c", "last", "", "far"}));
    for (auto [index, count] : std::vector<std::pair<INT_PTR, INT_PTR>>{{-1, 1}, {6, 1}, {4, 3}, {0, -1}, {0, 7}})
        a.RemoveAt(index, count);
    EXPECT_EQ(a.GetSize(), 6);
    a.RemoveAt(5);
    a.RemoveAt(0, 0);
    EXPECT_EQ(contents(a), (Lines{"first", "b", "c", "last", ""}));

    a.InsertAt(0, a[3]);  // an element of the array itself
    EXPECT_EQ(contents(a), (Lines{"last", "first", "b", "c", "last", ""}));
    a.RemoveAll();
    EXPECT_TRUE(a.IsEmpty());
}

TEST_F(Strings, ArrayIndexesOutOfRangeAreHarmless) {
    CStringArray a;
    a.Add(u"only");
    for (INT_PTR index : {INT_PTR(-1), INT_PTR(1), INT_PTR(1000)}) {
        EXPECT_TRUE(a.GetAt(index).IsEmpty());
        const CStringArray& constant = a;
        EXPECT_TRUE(constant[index].IsEmpty());
        a.SetAt(index, u"bad");
        a.ElementAt(index) = u"scratch";
        a[index] += u"more";
        EXPECT_TRUE(a.ElementAt(index).IsEmpty());
        EXPECT_EQ(contents(a), (Lines{"only"}));
    }
    a.SetAt(0, u"changed");
    a.ElementAt(0) += u"!";
    a[0] += u"?";
    EXPECT_EQ(a.GetAt(0), u"changed!?");

    a.SetAtGrow(3, u"grown");
    a.SetAtGrow(-1, u"never");
    a.SetAtGrow(4, a[0]);
    EXPECT_EQ(contents(a), (Lines{"changed!?", "", "", "grown", "changed!?"}));

    a.SetSize(2);
    EXPECT_EQ(contents(a), (Lines{"changed!?", ""}));
    a.SetSize(-3);
    EXPECT_EQ(a.GetSize(), 2);
    a.SetSize(3);
    EXPECT_EQ(contents(a), (Lines{"changed!?", "", ""}));
}

TEST_F(Strings, ArraysAppendAndCopyThemselves) {
    CStringArray a, b;
    a.Add(u"1");
    a.Add(u"2");
    b.Add(u"x");
    EXPECT_EQ(b.Append(a), 1);
    EXPECT_EQ(contents(b), (Lines{"x", "1", "2"}));
    EXPECT_EQ(a.Append(a), 2);
    EXPECT_EQ(contents(a), (Lines{"1", "2", "1", "2"}));
    a.Copy(a);
    EXPECT_EQ(a.GetSize(), 4);
    a.Copy(b);
    EXPECT_EQ(contents(a), (Lines{"x", "1", "2"}));
    b.SetAt(0, u"changed");
    EXPECT_EQ(a[0], u"x");
}

}  // namespace
