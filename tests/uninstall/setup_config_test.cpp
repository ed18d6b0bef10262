// The reader of "SetupCFG.xml": every query the removal steps make, checked against xmllint on the
// shipped sample (in CP1252 and, with Chinese model names, in CP936); the reader's rules as a table of
// small documents; and files it must refuse, through the parser and through LoadSetupConfig.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "SetupConfig.h"
#include "platform/control.h"
#include "platform/testing/machine.h"
#include "win/kernel.h"
#include "win/processes.h"

namespace {

namespace fs = std::filesystem;
using platform::testing::Machine;
using uninstall::ConfigEntry;
using uninstall::ConfigList;
using uninstall::SetupConfig;

const fs::path kSample = fs::path(MFP_SOURCE_DIR) / "tests" / "uninstall" / "data" / "SetupCFG.xml";

std::string readHost(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// What xmllint answers for an XPath expression on a file, turned into UTF-16 by iconv.
std::u16string xmllint(const fs::path& file, const std::string& expression) {
    const std::string command = "xmllint --xpath \"" + expression + "\" '" + file.string() +
                                "' 2>/dev/null | iconv -f UTF-8 -t UTF-16LE";
    FILE* pipe = popen(command.c_str(), "r");
    std::string bytes;
    char chunk[4096];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) bytes.append(chunk, n);
    pclose(pipe);
    std::u16string text(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                        static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    if (!text.empty() && text.back() == u'\n') text.pop_back();
    return text;
}

size_t xmllintCount(const fs::path& file, const std::string& nodes) {
    return std::stoul(platform::toUtf8(xmllint(file, "count(" + nodes + ")")));
}

// The entries xmllint finds for a node set: the attribute (or the given key) and the first text child.
ConfigList xmllintEntries(const fs::path& file, const std::string& nodes, const std::string& attribute,
                          const std::string& key = {}) {
    ConfigList entries;
    const size_t count = xmllintCount(file, nodes);
    for (size_t i = 1; i <= count; ++i) {
        const std::string node = "(" + nodes + ")[" + std::to_string(i) + "]";
        ConfigEntry entry;
        if (!key.empty()) entry.attribute = platform::fromUtf8(key);
        else if (!attribute.empty()) entry.attribute = xmllint(file, "string(" + node + "/@" + attribute + ")");
        entry.text = xmllint(file, "string(" + node + "/text()[1])");
        entries.push_back(entry);
    }
    return entries;
}

enum class Kind { Text, TextByKey, List, NodeList, ListByKey };
struct Query {
    Kind kind;
    std::string path;      // as the removal steps write it
    std::string argument;  // the attribute name, or the key
};

// Every query of the removal steps, with the arguments they pass.
const std::vector<Query> kQueries = {
    {Kind::Text, "/SERTUP_INFO/Headingline/Content", ""},
    {Kind::Text, "/SERTUP_INFO/MultiFunc/Type", ""},
    {Kind::Text, "/SERTUP_INFO/MODEL/Model_Info", ""},
    {Kind::Text, "/SERTUP_INFO/CreateFolder/Folder/Dir", ""},
    {Kind::Text, "/SERTUP_INFO/CreateFolder/pushexe", ""},
    {Kind::Text, "/SERTUP_INFO/CreateFolder/TwainMutex", ""},
    {Kind::Text, "/SERTUP_INFO/CreateFolder/monitorkey", ""},
    {Kind::Text, "/SERTUP_INFO/CreateFolder/uidat", ""},
    {Kind::Text, "/SERTUP_INFO/CreateFolder/faxdat", ""},
    {Kind::Text, "/SERTUP_INFO/FaxName/FaxModel", ""},
    {Kind::Text, "/SERTUP_INFO/InfInfo/Inf_Data", ""},
    {Kind::Text, "/SERTUP_INFO/FaxInfData/Inf_Data", ""},
    {Kind::Text, "/SERTUP_INFO/PONEMENT/lmmonitor", ""},
    {Kind::Text, "/SERTUP_INFO/PONEMENT/tcpmonitor", ""},
    {Kind::TextByKey, "/SERTUP_INFO/FaxName/FaxModel", "Zandrel M2100"},
    {Kind::TextByKey, "/SERTUP_INFO/FaxName/FaxModel", "Zandrel M2200"},
    {Kind::TextByKey, "/SERTUP_INFO/DEVICEFLAG/Flag", "Zandrel M2100"},
    {Kind::TextByKey, "/SERTUP_INFO/DEVICEFLAG/Flag", "Zandrel M2200"},
    {Kind::TextByKey, "/SERTUP_INFO/INF/Infinpackage", "FAX"},
    {Kind::TextByKey, "/SERTUP_INFO/DLL_NORMAL/source_dll", "DIFX"},
    {Kind::TextByKey, "/SERTUP_INFO/ScannerHID/ScannerInfo", "Zandrel M2100"},
    {Kind::TextByKey, "/SERTUP_INFO/SCANNERMENT/Element", "Zandrel M2100"},
    {Kind::List, "/SERTUP_INFO/MODEL/Model_Info", "type"},
    {Kind::List, "/SERTUP_INFO/DLL_UNSETUP/source_dll", "ID"},
    {Kind::List, "/SERTUP_INFO/CreateFolder/Folder/Dir", ""},
    {Kind::List, "/SERTUP_INFO/STOPPROCESS/files", ""},
    {Kind::List, "/SERTUP_INFO/ScannerOem/oem_data", "ID"},
    {Kind::List, "/SERTUP_INFO/STOREXP/Store_Info", "ID"},
    {Kind::List, "/SERTUP_INFO/DEVICEFLAG/Flag", "ID"},
    {Kind::List, "/SERTUP_INFO/INF/Infinpackage", ""},
    {Kind::List, "/SERTUP_INFO/SCINF/InfPath", "ID"},
    {Kind::List, "/SERTUP_INFO/USB/USB_Info", "ID"},
    {Kind::List, "/SERTUP_INFO/ScannerHID/ScannerInfo", "ID"},
    {Kind::NodeList, "/SERTUP_INFO/Program/Dst/x64", "ID"},
    {Kind::NodeList, "SERTUP_INFO/COPYFILES/XPSTYLE/Common", "ID"},
    {Kind::NodeList, "SERTUP_INFO/COPYFILES/XPSTYLE/x64", "ID"},
    {Kind::NodeList, "SERTUP_INFO/COPYFILES/W7STYLE/Common", "ID"},
    {Kind::NodeList, "SERTUP_INFO/COPYFILES/W7STYLE/x64", "ID"},
    {Kind::NodeList, "SERTUP_INFO/TwainFile/DstName", ""},
    {Kind::NodeList, "SERTUP_INFO/TwainFile/sourcefile", ""},
    {Kind::ListByKey, "/SERTUP_INFO/Program/sourcefile", "PRG"},
    {Kind::ListByKey, "/SERTUP_INFO/Program/sourcefile", "LANG"},
    {Kind::ListByKey, "SERTUP_INFO/COPYFILES/sourcefile", "W764"},
    {Kind::ListByKey, "SERTUP_INFO/COPYFILES/sourcefile", "XP64"},
    {Kind::ListByKey, "SERTUP_INFO/COPYFILES/sourcefile", "W7COM"},
    {Kind::ListByKey, "SERTUP_INFO/COPYFILES/sourcefile", "XPCOM"},
};

// A query's answer as one list: a text is one entry without attribute; "no match" is no entry.
ConfigList answerOf(const SetupConfig& config, const Query& query) {
    const std::u16string path = platform::fromUtf8(query.path), argument = platform::fromUtf8(query.argument);
    ConfigList list;
    std::u16string text;
    switch (query.kind) {
    case Kind::Text: EXPECT_TRUE(config.ReadConfigText(path, text)); return {{u"", text}};
    case Kind::TextByKey:
        if (config.ReadConfigTextByAttr(path, argument, text)) return {{u"", text}};
        return {};
    case Kind::List: EXPECT_TRUE(config.ReadConfigList(path, argument, list)); return list;
    case Kind::NodeList: EXPECT_TRUE(config.ReadConfigNodeList(path, argument, list)); return list;
    case Kind::ListByKey: EXPECT_TRUE(config.ReadConfigListByAttr(path, argument, list)); return list;
    }
    return list;
}

ConfigList oracleOf(const fs::path& file, const Query& query) {
    const std::string nodes = "(" + query.path + ")";
    switch (query.kind) {
    case Kind::Text: return {{u"", xmllint(file, "string(" + nodes + "[1]/text()[1])")}};
    case Kind::TextByKey: {
        const std::string keyed = nodes + "[@*='" + query.argument + "']";
        if (xmllintCount(file, keyed) == 0) return {};
        return {{u"", xmllint(file, "string((" + keyed + ")[1]/text()[1])")}};
    }
    case Kind::List:
        return xmllintEntries(file, nodes + "[1] | " + nodes + "[1]/following-sibling::*", query.argument);
    case Kind::NodeList: return xmllintEntries(file, nodes, query.argument);
    case Kind::ListByKey: return xmllintEntries(file, nodes + "[@*='" + query.argument + "']", "", query.argument);
    }
    return {};
}

std::string shown(const ConfigList& list) {
    std::string text;
    for (const ConfigEntry& entry : list)
        text += "[" + platform::toUtf8(entry.attribute) + "|" + platform::toUtf8(entry.text) + "]";
    return text;
}

void expectQueriesMatchXmllint(const fs::path& file) {
    SetupConfig config;
    ASSERT_TRUE(config.parse(readHost(file)).ok);
    for (const Query& query : kQueries) {
        SCOPED_TRACE(query.path + " " + query.argument);
        const ConfigList oracle = oracleOf(file, query);
        EXPECT_EQ(shown(answerOf(config, query)), shown(oracle));
        if (query.kind != Kind::Text && query.kind != Kind::TextByKey) {
            EXPECT_FALSE(oracle.empty());
        }
    }
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    for (size_t at; (at = text.find(from)) != std::string::npos;) text.replace(at, from.size(), to);
    return text;
}

TEST(SetupConfigQueries, EveryQueryOfTheSampleAnswersAsXmllintInCp1252) {
    Machine machine;  // CP1252
    expectQueriesMatchXmllint(kSample);
}

TEST(SetupConfigQueries, EveryQueryAnswersAsXmllintInCp936WithChineseModelNames) {
    platform::MachineSettings settings;
    settings.codePage = 936;
    Machine machine(settings);
    // The sample with its model names in Chinese, written in GBK as an installation in China writes it.
    std::string utf8 = replaced(readHost(kSample), "windows-1252", "GBK");
    utf8 = replaced(utf8, "Zandrel M2100", "赞德尔 M2100");
    const fs::path file = machine.root() / "gbk.xml";
    {
        std::ofstream(machine.root() / "utf8.xml", std::ios::binary) << utf8;
    }
    ASSERT_EQ(std::system(("iconv -f UTF-8 -t GBK '" + (machine.root() / "utf8.xml").string() + "' > '" +
                           file.string() + "'").c_str()),
              0);
    expectQueriesMatchXmllint(file);
    // The Chinese key finds its own fax driver (the key goes to 8 bits through CP936, as the file's bytes).
    SetupConfig config;
    ASSERT_TRUE(config.parse(readHost(file)).ok);
    std::u16string fax;
    ASSERT_TRUE(config.ReadConfigTextByAttr(u"/SERTUP_INFO/FaxName/FaxModel", u"赞德尔 M2100", fax));
    EXPECT_EQ(fax, u"赞德尔 M2100 Fax");
}

// ---- The reader's rules, on small documents -----------------------------------------------------------

struct ReaderCase {
    const char* name;
    const char* xml;
    Kind kind;
    const char16_t* query;
    const char16_t* argument;
    bool result;
    ConfigList expected;  // a text query's answer is one entry with no attribute
};

const ReaderCase kReaderCases[] = {
    {"siblings of other names follow the first element", "<SERTUP_INFO><M><A t='1'>a</A><B t='2'>b</B><A>c</A></M></SERTUP_INFO>",
     Kind::List, u"/SERTUP_INFO/M/A", u"t", true, {{u"1", u"a"}, {u"2", u"b"}, {u"", u"c"}}},
    {"only the first element and what follows it", "<SERTUP_INFO><M><B>b</B><A>a</A><C>c</C></M></SERTUP_INFO>",
     Kind::List, u"/SERTUP_INFO/M/A", u"", true, {{u"", u"a"}, {u"", u"c"}}},
    {"stray text between elements gives no entry", "<SERTUP_INFO><M><A>a</A>stray<A>c</A></M></SERTUP_INFO>",
     Kind::List, u"/SERTUP_INFO/M/A", u"", true, {{u"", u"a"}, {u"", u"c"}}},
    {"a step that leads nowhere falls through to the next of its name",
     "<SERTUP_INFO><M><X/></M><M><A>a</A></M></SERTUP_INFO>", Kind::List, u"/SERTUP_INFO/M/A", u"", true,
     {{u"", u"a"}}},
    {"a relative path starting at the root's name", "<SERTUP_INFO><M><A>a</A></M></SERTUP_INFO>", Kind::List,
     u"SERTUP_INFO/M/A", u"", true, {{u"", u"a"}}},
    {"a path to nothing is an empty list", "<SERTUP_INFO><M><A>a</A></M></SERTUP_INFO>", Kind::List,
     u"/SERTUP_INFO/M/Z", u"", true, {}},
    {"CDATA is text", "<SERTUP_INFO><A><![CDATA[x<y]]></A></SERTUP_INFO>", Kind::Text, u"/SERTUP_INFO/A", u"",
     true, {{u"", u"x<y"}}},
    {"a comment only is no text", "<SERTUP_INFO><A><!-- none --></A></SERTUP_INFO>", Kind::Text,
     u"/SERTUP_INFO/A", u"", true, {{u"", u""}}},
    {"the first text child counts", "<SERTUP_INFO><A>one<B/>two</A></SERTUP_INFO>", Kind::Text,
     u"/SERTUP_INFO/A", u"", true, {{u"", u"one"}}},
    {"blanks kept, references expanded, line ends single",
     "<SERTUP_INFO><A>  a&amp;b&#x41;\r\nc </A></SERTUP_INFO>", Kind::Text, u"/SERTUP_INFO/A", u"", true,
     {{u"", u"  a&bA\nc "}}},
    {"no match is empty text", "<SERTUP_INFO><A>a</A></SERTUP_INFO>", Kind::Text, u"/SERTUP_INFO/Z", u"", true,
     {{u"", u""}}},
    {"an attribute result has no element", "<SERTUP_INFO><A t='v'>a</A></SERTUP_INFO>", Kind::Text,
     u"/SERTUP_INFO/A/@t", u"", true, {{u"", u""}}},
    {"the root's own name is refused", "<SERTUP_INFO><A>a</A></SERTUP_INFO>", Kind::Text, u"SERTUP_INFO", u"",
     false, {}},
    {"the root as an absolute query runs", "<SERTUP_INFO>top<A>a</A></SERTUP_INFO>", Kind::Text, u"/SERTUP_INFO",
     u"", true, {{u"", u"top"}}},
    {"keys compare with letter case", "<SERTUP_INFO><A ID='Zandrel'>a</A></SERTUP_INFO>", Kind::TextByKey,
     u"/SERTUP_INFO/A", u"zandrel", false, {}},
    {"the first element with any matching attribute", "<SERTUP_INFO><A x='k'>a</A><A y='k'>b</A></SERTUP_INFO>",
     Kind::TextByKey, u"/SERTUP_INFO/A", u"k", true, {{u"", u"a"}}},
    {"keys compare whole values", "<SERTUP_INFO><A ID='FAX2'>a</A></SERTUP_INFO>", Kind::TextByKey,
     u"/SERTUP_INFO/A", u"FAX", false, {}},
    {"an attribute node gives two empty fields", "<SERTUP_INFO><A t='v'>a</A><A t='w'>b</A></SERTUP_INFO>",
     Kind::NodeList, u"/SERTUP_INFO/A/@t", u"t", true, {{u"", u""}, {u"", u""}}},
    {"node list in document order", "<SERTUP_INFO><A t='1'>a</A><B/><A t='2'>b</A></SERTUP_INFO>",
     Kind::NodeList, u"/SERTUP_INFO/A", u"t", true, {{u"1", u"a"}, {u"2", u"b"}}},
    {"two matching attributes give two entries", "<SERTUP_INFO><A x='k' y='k' z='j'>t</A></SERTUP_INFO>",
     Kind::ListByKey, u"/SERTUP_INFO/A", u"k", true, {{u"k", u"t"}, {u"k", u"t"}}},
    {"a key in CP1252 beyond ASCII",
     "<?xml version='1.0' encoding='windows-1252'?><SERTUP_INFO><A ID='Caf\xe9'>\xe9t\xe9</A></SERTUP_INFO>",
     Kind::TextByKey, u"/SERTUP_INFO/A", u"Café", true, {{u"", u"été"}}},
    {"a key with no CP1252 form matches nothing", "<SERTUP_INFO><A ID='?'>a</A></SERTUP_INFO>", Kind::TextByKey,
     u"/SERTUP_INFO/A", u"中", false, {}},
    {"a query that cannot compile selects nothing", "<SERTUP_INFO><A>a</A></SERTUP_INFO>", Kind::Text,
     u"/SERTUP_INFO/[", u"", true, {{u"", u""}}},
};

TEST(SetupConfigReader, RulesOfTheQueries) {
    Machine machine;
    for (const ReaderCase& test : kReaderCases) {
        SCOPED_TRACE(test.name);
        SetupConfig config;
        ASSERT_TRUE(config.parse(test.xml).ok);
        ConfigList list = {{u"left", u"over"}};
        std::u16string text = u"untouched";
        bool result = false;
        switch (test.kind) {
        case Kind::Text: result = config.ReadConfigText(test.query, text); break;
        case Kind::TextByKey: result = config.ReadConfigTextByAttr(test.query, test.argument, text); break;
        case Kind::List: result = config.ReadConfigList(test.query, test.argument, list); break;
        case Kind::NodeList: result = config.ReadConfigNodeList(test.query, test.argument, list); break;
        case Kind::ListByKey: result = config.ReadConfigListByAttr(test.query, test.argument, list); break;
        }
        EXPECT_EQ(result, test.result);
        if (test.kind == Kind::Text || test.kind == Kind::TextByKey) {
            EXPECT_EQ(platform::toUtf8(text),
                      test.expected.empty() ? "untouched" : platform::toUtf8(test.expected[0].text));
        } else {
            EXPECT_EQ(shown(list), shown(test.expected));
        }
    }
}

TEST(SetupConfigReader, RefusalsLeaveOutputsUntouched) {
    Machine machine;
    SetupConfig empty;
    ConfigList list = {{u"kept", u"kept"}};
    std::u16string text = u"kept";
    // No document: every query refuses.
    EXPECT_FALSE(empty.ReadConfigText(u"/SERTUP_INFO/A", text));
    EXPECT_FALSE(empty.ReadConfigList(u"/SERTUP_INFO/A", u"", list));
    EXPECT_FALSE(empty.ReadConfigNodeList(u"/SERTUP_INFO/A", u"", list));
    EXPECT_FALSE(empty.ReadConfigListByAttr(u"/SERTUP_INFO/A", u"k", list));
    SetupConfig config;
    ASSERT_TRUE(config.parse("<SERTUP_INFO><A ID='k'>a</A></SERTUP_INFO>").ok);
    EXPECT_FALSE(config.ReadConfigList(u"SERTUP_INFO", u"", list));
    EXPECT_FALSE(config.ReadConfigListByAttr(u"/SERTUP_INFO/A", u"none", list) && !list.empty());
    EXPECT_EQ(text, u"kept");
    // A caller's buffer gets at most its capacity less one.
    WCHAR buffer[3] = {u'x', u'x', u'x'};
    ASSERT_TRUE(config.ReadConfigTextByAttr(u"/SERTUP_INFO/A", u"k", buffer, 1));
    EXPECT_EQ(buffer[0], 0);
    ASSERT_TRUE(config.parse("<SERTUP_INFO><A>abcdef</A></SERTUP_INFO>").ok);
    ASSERT_TRUE(config.ReadConfigText(u"/SERTUP_INFO/A", buffer, 3));
    EXPECT_EQ(std::u16string(buffer), u"ab");
}

TEST(SetupConfigReader, ModelListAndProductFolder) {
    Machine machine;
    SetupConfig config;
    const std::string longName(128, 'M');
    ASSERT_TRUE(config.parse("<SERTUP_INFO><MODEL><Model_Info type='MFP'>Zandrel M2100</Model_Info>"
                             "<Model_Info type='x'></Model_Info><Model_Info>" + std::string(127, 'K') +
                             "</Model_Info><Model_Info>" + longName +
                             "</Model_Info><Other type='SFP'>Zandrel P1</Other></MODEL>"
                             "<CreateFolder><Folder><Dir>\\Zandrel</Dir><Dir>\\M2100</Dir></Folder></CreateFolder>"
                             "</SERTUP_INFO>")
                    .ok);
    EXPECT_EQ(shown(uninstall::ReadModelList(config)),
              "[MFP|Zandrel M2100][|" + std::string(127, 'K') + "][SFP|Zandrel P1]");

    std::u16string path = u"kept";
    const std::u16string expected = u"C:\\Program Files\\Zandrel\\M2100";
    EXPECT_FALSE(uninstall::ProductFolderPath(u"C:\\Program Files", expected.size(), path, config));
    EXPECT_EQ(path, u"kept");
    ASSERT_TRUE(uninstall::ProductFolderPath(u"C:\\Program Files", expected.size() + 1, path, config));
    EXPECT_EQ(path, expected);
}

// ---- Files the reader must refuse, and files it takes -------------------------------------------------

std::string utf16(const std::u16string& text, bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t c : text) {
        const char low = static_cast<char>(c & 0xFF), high = static_cast<char>(c >> 8);
        bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}

std::string nested(size_t depth) {
    std::string xml = "<SERTUP_INFO>";
    for (size_t i = 0; i < depth; ++i) xml += "<a>";
    for (size_t i = 0; i < depth; ++i) xml += "</a>";
    return xml + "</SERTUP_INFO>";
}

struct FileCase {
    const char* name;
    std::string bytes;
    bool accepted;
    const char16_t* heading;  // what Headingline/Content reads when accepted
};

const std::vector<FileCase>& fileCases() {
    static const std::vector<FileCase> cases = {
        {"empty", "", false, nullptr},
        {"blanks", "  \r\n\t ", false, nullptr},
        {"cut in a tag", "<SERTUP_INFO><Headingline><Cont", false, nullptr},
        {"a NUL inside", std::string("<SERTUP_INFO><Headingline>\0</Headingline></SERTUP_INFO>", 52), false, nullptr},
        {"not well-formed", "<SERTUP_INFO><a></b></SERTUP_INFO>", false, nullptr},
        {"another root", "<SETUP_INFO><Headingline><Content>x</Content></Headingline></SETUP_INFO>", false, nullptr},
        {"over 1 MiB", "<SERTUP_INFO>" + std::string(1u << 20, ' ') + "</SERTUP_INFO>", false, nullptr},
        {"100,000 nested elements", nested(100000), true, u""},
        {"a UTF-8 byte-order mark", "\xEF\xBB\xBF<SERTUP_INFO><Headingline><Content>M</Content></Headingline></SERTUP_INFO>",
         true, u"M"},
        // pugixml turns UTF-16 and ISO-8859-1 into UTF-8, which the ANSI code page then reads as it is.
        {"UTF-16 LE", utf16(u"<SERTUP_INFO><Headingline><Content>Mé</Content></Headingline></SERTUP_INFO>", false),
         true, u"MÃ©"},
        {"UTF-16 BE", utf16(u"<SERTUP_INFO><Headingline><Content>Mé</Content></Headingline></SERTUP_INFO>", true),
         true, u"MÃ©"},
        {"ISO-8859-1",
         "<?xml version='1.0' encoding='ISO-8859-1'?><SERTUP_INFO><Headingline><Content>M\xe9</Content></Headingline></SERTUP_INFO>",
         true, u"MÃ©"},
        {"windows-1252",
         "<?xml version='1.0' encoding='windows-1252'?><SERTUP_INFO><Headingline><Content>M\x80</Content></Headingline></SERTUP_INFO>",
         true, u"M€"},
        // No outside file is ever read: the reference stays as it is.
        {"an external entity",
         "<!DOCTYPE SERTUP_INFO [<!ENTITY e SYSTEM 'file:///etc/passwd'>]><SERTUP_INFO><Headingline><Content>&e;</Content></Headingline></SERTUP_INFO>",
         true, u"&e;"},
        // Kept as pugixml decides, though xmllint refuses both.
        {"a second top-level element", "<SERTUP_INFO><Headingline><Content>M</Content></Headingline></SERTUP_INFO><X/>",
         true, u"M"},
        {"an undefined entity", "<SERTUP_INFO><Headingline><Content>&nope;</Content></Headingline></SERTUP_INFO>", true,
         u"&nope;"},
    };
    return cases;
}

TEST(SetupConfigFiles, ParserRefusesWhatItCannotTrust) {
    Machine machine;
    for (const FileCase& test : fileCases()) {
        SCOPED_TRACE(test.name);
        SetupConfig config;
        const uninstall::ConfigParseResult result = config.parse(test.bytes);
        EXPECT_EQ(result.ok, test.accepted) << result.reason;
        EXPECT_EQ(config.loaded(), test.accepted);
        if (!test.accepted) {
            EXPECT_FALSE(result.reason.empty());
            continue;
        }
        std::u16string heading = u"unread";
        EXPECT_TRUE(config.ReadConfigText(u"/SERTUP_INFO/Headingline/Content", heading));
        EXPECT_EQ(platform::toUtf8(heading), platform::toUtf8(test.heading));
    }
}

// The debugger lines of the machine's log (every process), without their process ids.
std::vector<std::string> machineDebugLines(const Machine& machine) {
    std::vector<std::string> lines;
    std::istringstream log(readHost(machine.root() / "debug.log"));
    for (std::string line; std::getline(log, line);) lines.push_back(line.substr(line.find(' ') + 1));
    return lines;
}

const char16_t kProgram[] = u"C:\\Program Files\\Zandrel\\M2100\\setup.exe";
const char16_t kConfigFile[] = u"C:\\Program Files\\Zandrel\\M2100\\SetupCFG.xml";

TEST(SetupConfigFiles, PathBesideTheProgramWithItsDoubledBackslash) {
    Machine machine;
    platform::setProgramPath(kProgram);
    EXPECT_EQ(uninstall::setupConfigPath(), u"C:\\Program Files\\Zandrel\\M2100\\\\SetupCFG.xml");
    machine.writeFile(kConfigFile, readHost(kSample));
    uninstall::LoadSetupConfig();
    std::u16string heading;
    ASSERT_TRUE(uninstall::setupConfig().ReadConfigText(u"/SERTUP_INFO/Headingline/Content", heading));
    EXPECT_EQ(heading, u"Zandrel M2100 Series");
}

// LoadSetupConfig ends the process with exit code 1 and says why; nothing after it runs.
TEST(SetupConfigFilesDeathTest, LoadingEndsTheProgramOnAFileItRefuses) {
    GTEST_FLAG_SET(death_test_style, "fast");
    const struct {
        const char* name;
        std::optional<std::string> bytes;
        std::string why;
    } cases[] = {
        {"missing", std::nullopt, "SetupCFG.xml: cannot open the file (error 2)"},
        {"not well-formed", std::string("<SERTUP_INFO><a></SERTUP_INFO>"), "SetupCFG.xml: not well-formed"},
        {"another root", std::string("<ROOT/>"), "SetupCFG.xml: the root element is \"ROOT\", not SERTUP_INFO"},
        {"over 1 MiB", "<SERTUP_INFO>" + std::string(1u << 20, ' ') + "</SERTUP_INFO>",
         "SetupCFG.xml: the file is larger than 1 MiB"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        Machine machine;
        platform::setProgramPath(kProgram);
        machine.writeFile(kProgram, "");
        if (test.bytes) machine.writeFile(kConfigFile, *test.bytes);
        EXPECT_EXIT(
            {
                uninstall::LoadSetupConfig();
                OutputDebugStringW(u"went on");
                std::exit(0);
            },
            ::testing::ExitedWithCode(1), "");
        const std::vector<std::string> lines = machineDebugLines(machine);
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0], "XMLload fail");
        EXPECT_EQ(lines[1].substr(0, test.why.size()), test.why);
    }
}

}  // namespace
