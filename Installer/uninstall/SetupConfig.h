// The uninstaller's configuration: "SetupCFG.xml" beside the program, loaded once, and the queries
// every removal step asks of it.
#pragma once

#include <pugixml.hpp>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "win/base.h"

namespace uninstall {

// One entry of a list query: the value of the named attribute (empty when absent) and the element's text.
struct ConfigEntry {
    std::u16string attribute;
    std::u16string text;
};
using ConfigList = std::vector<ConfigEntry>;

// The root element every query starts below (spelled as the installation writes it).
inline constexpr char kConfigRoot[] = "SERTUP_INFO";
// A file larger than this is refused like an unreadable one: no configuration comes near it, and a
// hostile file must not fill memory.
inline constexpr size_t kMaxConfigBytes = 1u << 20;
// Model names are keys matched against driver names; a longer one is dropped rather than cut.
inline constexpr size_t kMaxModelName = 127;

// The outcome of reading the file's bytes.
struct ConfigParseResult {
    bool ok = false;
    std::string reason;  // why the bytes were refused (for the debugger output)
};

// The loaded document and its queries. Query texts and keys go to 8 bits through the ANSI code page;
// values come back through it. Every query refuses (false, output untouched) a query equal to the root
// element's name and a document without a root.
class SetupConfig {
public:
    // Parses the bytes with the library's default options and automatic encoding detection; refuses
    // more than kMaxConfigBytes, a file that is not well-formed and a root other than SERTUP_INFO.
    // On refusal the document is left empty.
    ConfigParseResult parse(std::string_view bytes);
    bool loaded() const { return !doc_.document_element().empty(); }

    // The text of the first node the query selects (empty when nothing matches).
    bool ReadConfigText(std::u16string_view query, std::u16string& text) const;
    // The same into a caller's buffer of `capacity` characters, cut to capacity - 1 (display texts).
    bool ReadConfigText(std::u16string_view query, WCHAR* buffer, size_t capacity) const;
    // The text of the first selected element with an attribute whose value is exactly `key`; false and
    // `text` untouched when none has.
    bool ReadConfigTextByAttr(std::u16string_view query, std::u16string_view key, std::u16string& text) const;
    bool ReadConfigTextByAttr(std::u16string_view query, std::u16string_view key, WCHAR* buffer,
                              size_t capacity) const;
    // The first element on the slash-separated path (a step that leads nowhere goes on with the next
    // child of its name) and every element sibling after it, of any name.
    bool ReadConfigList(std::u16string_view path, std::u16string_view attribute, ConfigList& list) const;
    // One entry for each node the query selects; an attribute node gives two empty fields.
    bool ReadConfigNodeList(std::u16string_view query, std::u16string_view attribute, ConfigList& list) const;
    // One entry for each selected element and each of its attributes whose value equals `key`.
    bool ReadConfigListByAttr(std::u16string_view query, std::u16string_view key, ConfigList& list) const;

private:
    // The query in 8 bits when it may run: converts exactly and is not the root's own name.
    bool admit(std::u16string_view query, std::string& narrow) const;

    pugi::xml_document doc_;
};

// The process-wide document, loaded by LoadSetupConfig.
SetupConfig& setupConfig();

// The configuration's path: the program's folder (its module path cut after the last backslash) with
// "\SetupCFG.xml" appended, so it carries a doubled backslash before the name.
std::u16string setupConfigPath();

// Loads "SetupCFG.xml" into the process-wide document; a file that cannot be read or trusted writes
// "XMLload fail" (and a line saying why) to the debugger output and ends the process with exit code 1.
void LoadSetupConfig();

// The supported models (MODEL/Model_Info: text the name, attribute "type"), in document order; empty
// names and names longer than kMaxModelName are left out.
ConfigList ReadModelList(const SetupConfig& config = setupConfig());

// The product folder below `base`: the texts of every CreateFolder/Folder/Dir joined in document
// order. False (and `path` untouched) when it would not fit in `capacity` characters with its NUL.
bool ProductFolderPath(std::u16string_view base, size_t capacity, std::u16string& path,
                       const SetupConfig& config = setupConfig());

}  // namespace uninstall
