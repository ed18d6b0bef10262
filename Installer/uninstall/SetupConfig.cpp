// The configuration reader: the file's bytes through the file layer, pugixml over them, and the queries.
#include "SetupConfig.h"

#include <cstring>

#include "win/files.h"
#include "win/kernel.h"
#include "win/processes.h"

namespace uninstall {
namespace {

// Wide text to the ANSI code page; false when a character has no exact counterpart there, so that a
// key which cannot be written in the file's bytes matches nothing instead of a look-alike.
bool toNarrow(std::u16string_view wide, std::string& narrow) {
    narrow.clear();
    if (wide.empty()) return true;
    const int length = static_cast<int>(wide.size());
    BOOL usedDefault = FALSE;
    const int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), length, nullptr, 0, nullptr,
                                         &usedDefault);
    if (size <= 0 || usedDefault) return false;
    narrow.resize(static_cast<size_t>(size));
    usedDefault = FALSE;
    const int written = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), length, narrow.data(), size,
                                            nullptr, &usedDefault);
    return written == size && !usedDefault;
}

// A value of the document to wide text through the ANSI code page.
std::u16string toWide(const char* narrow) {
    const size_t length = narrow ? std::strlen(narrow) : 0;
    if (length == 0) return {};
    const int size = MultiByteToWideChar(CP_ACP, 0, narrow, static_cast<int>(length), nullptr, 0);
    if (size <= 0) return {};
    std::u16string wide(static_cast<size_t>(size), u'\0');
    MultiByteToWideChar(CP_ACP, 0, narrow, static_cast<int>(length), wide.data(), size);
    return wide;
}

// An element's text: its first child of the character-data or CDATA kind.
std::u16string textOf(pugi::xml_node node) {
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling())
        if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) return toWide(child.value());
    return {};
}

std::u16string attributeOf(pugi::xml_node node, const std::string& name) {
    if (name.empty()) return {};
    return toWide(node.attribute(name.c_str()).value());
}

// Copies into a caller's buffer, cut to its capacity less one.
void copyCut(std::u16string_view text, WCHAR* buffer, size_t capacity) {
    if (!buffer || capacity == 0) return;
    const size_t n = std::min(text.size(), capacity - 1);
    std::memcpy(buffer, text.data(), n * sizeof(WCHAR));
    buffer[n] = 0;
}

// Evaluates an XPath query; a query the library cannot compile selects nothing.
pugi::xpath_node_set selectAll(const pugi::xml_document& doc, const std::string& query) {
    try {
        return doc.select_nodes(query.c_str());
    } catch (const pugi::xpath_exception& error) {
        OutputDebugStringA((std::string("SetupCFG query refused: ") + error.what()).c_str());
        return {};
    }
}

// The first element on the path's steps below `from`, trying every child of a step's name in turn.
pugi::xml_node findOnPath(pugi::xml_node from, const std::vector<std::string>& steps, size_t index) {
    if (index == steps.size()) return from;
    for (pugi::xml_node child = from.first_child(); child; child = child.next_sibling()) {
        if (child.type() != pugi::node_element || steps[index] != child.name()) continue;
        if (pugi::xml_node found = findOnPath(child, steps, index + 1)) return found;
    }
    return {};
}

std::vector<std::string> splitPath(const std::string& path) {
    std::vector<std::string> steps;
    size_t start = 0;
    while (start <= path.size()) {
        const size_t slash = path.find('/', start);
        const size_t end = slash == std::string::npos ? path.size() : slash;
        if (end > start) steps.push_back(path.substr(start, end - start));
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    return steps;
}

}  // namespace

ConfigParseResult SetupConfig::parse(std::string_view bytes) {
    doc_.reset();
    if (bytes.size() > kMaxConfigBytes) return {false, "the file is larger than 1 MiB"};
    const pugi::xml_parse_result result =
        doc_.load_buffer(bytes.data(), bytes.size(), pugi::parse_default, pugi::encoding_auto);
    if (!result) {
        doc_.reset();
        return {false, std::string("not well-formed: ") + result.description() + " at byte " +
                           std::to_string(result.offset)};
    }
    if (std::strcmp(doc_.document_element().name(), kConfigRoot) != 0) {
        const std::string root = doc_.document_element().name();
        doc_.reset();
        return {false, "the root element is \"" + root + "\", not SERTUP_INFO"};
    }
    return {true, {}};
}

bool SetupConfig::admit(std::u16string_view query, std::string& narrow) const {
    const pugi::xml_node root = doc_.first_child();
    if (!root) return false;
    if (!toNarrow(query, narrow)) narrow.clear();  // selects nothing, yet the query ran
    return narrow != root.name();
}

bool SetupConfig::ReadConfigText(std::u16string_view query, std::u16string& text) const {
    std::string narrow;
    if (!admit(query, narrow)) return false;
    text.clear();
    if (narrow.empty()) return true;
    try {
        text = textOf(doc_.select_node(narrow.c_str()).node());
    } catch (const pugi::xpath_exception& error) {
        OutputDebugStringA((std::string("SetupCFG query refused: ") + error.what()).c_str());
    }
    return true;
}

bool SetupConfig::ReadConfigText(std::u16string_view query, WCHAR* buffer, size_t capacity) const {
    std::u16string text;
    if (!ReadConfigText(query, text)) return false;
    copyCut(text, buffer, capacity);
    return true;
}

bool SetupConfig::ReadConfigTextByAttr(std::u16string_view query, std::u16string_view key,
                                       std::u16string& text) const {
    std::string narrow, narrowKey;
    if (!admit(query, narrow) || narrow.empty() || !toNarrow(key, narrowKey)) return false;
    for (const pugi::xpath_node& selected : selectAll(doc_, narrow)) {
        const pugi::xml_node node = selected.node();
        for (pugi::xml_attribute attribute : node.attributes()) {
            if (narrowKey != attribute.value()) continue;
            text = textOf(node);
            return true;
        }
    }
    return false;
}

bool SetupConfig::ReadConfigTextByAttr(std::u16string_view query, std::u16string_view key, WCHAR* buffer,
                                       size_t capacity) const {
    std::u16string text;
    if (!ReadConfigTextByAttr(query, key, text)) return false;
    copyCut(text, buffer, capacity);
    return true;
}

bool SetupConfig::ReadConfigList(std::u16string_view path, std::u16string_view attribute, ConfigList& list) const {
    std::string narrow, name;
    if (!admit(path, narrow)) return false;
    list.clear();
    if (narrow.empty() || !toNarrow(attribute, name)) return true;
    pugi::xml_node element = findOnPath(doc_, splitPath(narrow), 0);
    if (element == doc_) return true;  // a path of no steps names no element
    for (; element; element = element.next_sibling()) {
        if (element.type() != pugi::node_element) continue;
        list.push_back({attributeOf(element, name), textOf(element)});
    }
    return true;
}

bool SetupConfig::ReadConfigNodeList(std::u16string_view query, std::u16string_view attribute,
                                     ConfigList& list) const {
    std::string narrow, name;
    if (!admit(query, narrow)) return false;
    list.clear();
    if (narrow.empty()) return true;
    const bool named = toNarrow(attribute, name);
    for (const pugi::xpath_node& selected : selectAll(doc_, narrow)) {
        if (selected.attribute()) {
            list.push_back({});
            continue;
        }
        list.push_back({named ? attributeOf(selected.node(), name) : std::u16string(), textOf(selected.node())});
    }
    return true;
}

bool SetupConfig::ReadConfigListByAttr(std::u16string_view query, std::u16string_view key, ConfigList& list) const {
    std::string narrow, narrowKey;
    if (!admit(query, narrow)) return false;
    list.clear();
    if (narrow.empty() || !toNarrow(key, narrowKey)) return true;
    for (const pugi::xpath_node& selected : selectAll(doc_, narrow)) {
        const pugi::xml_node node = selected.node();
        for (pugi::xml_attribute attribute : node.attributes())
            if (narrowKey == attribute.value()) list.push_back({toWide(attribute.value()), textOf(node)});
    }
    return true;
}

SetupConfig& setupConfig() {
    static SetupConfig* config = new SetupConfig;
    return *config;
}

std::u16string setupConfigPath() {
    WCHAR module[1024] = {};
    const DWORD length = GetModuleFileNameW(nullptr, module, 1024);
    std::u16string path(module, length < 1024 ? length : 0);
    const size_t slash = path.rfind(u'\\');
    path.resize(slash == std::u16string::npos ? 0 : slash + 1);
    return path + u"\\SetupCFG.xml";
}

namespace {

// The file's bytes through the file layer; false with the reason when it cannot be read whole.
bool readConfigFile(const std::u16string& path, std::string& bytes, std::string& reason) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        reason = "cannot open the file (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    DWORD high = 0;
    const DWORD size = GetFileSize(file, &high);
    bool ok = size != INVALID_FILE_SIZE && high == 0 && size <= kMaxConfigBytes;
    if (!ok) reason = size == INVALID_FILE_SIZE ? "cannot read the file's size" : "the file is larger than 1 MiB";
    if (ok) {
        bytes.resize(size);
        DWORD done = 0;
        ok = size == 0 || (ReadFile(file, bytes.data(), size, &done, nullptr) && done == size);
        if (!ok) reason = "cannot read the file (error " + std::to_string(GetLastError()) + ")";
    }
    CloseHandle(file);
    return ok;
}

}  // namespace

void LoadSetupConfig() {
    std::string bytes, reason;
    bool ok = readConfigFile(setupConfigPath(), bytes, reason);
    if (ok) {
        const ConfigParseResult result = setupConfig().parse(bytes);
        ok = result.ok;
        reason = result.reason;
    }
    if (ok) return;
    OutputDebugStringW(u"XMLload fail");
    OutputDebugStringA(("SetupCFG.xml: " + reason).c_str());
    ExitProcess(1);
}

ConfigList ReadModelList(const SetupConfig& config) {
    ConfigList models;
    config.ReadConfigList(u"/SERTUP_INFO/MODEL/Model_Info", u"type", models);
    std::erase_if(models, [](const ConfigEntry& model) {
        return model.text.empty() || model.text.size() > kMaxModelName;
    });
    return models;
}

bool ProductFolderPath(std::u16string_view base, size_t capacity, std::u16string& path, const SetupConfig& config) {
    ConfigList dirs;
    config.ReadConfigList(u"/SERTUP_INFO/CreateFolder/Folder/Dir", u"", dirs);
    std::u16string joined(base);
    for (const ConfigEntry& dir : dirs) joined += dir.text;
    if (joined.size() + 1 > capacity) return false;
    path = std::move(joined);
    return true;
}

}  // namespace uninstall
