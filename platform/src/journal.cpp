// Journals of the machine: records of what programs asked for that never happens on the host.
#include <sstream>

#include "internal.h"

namespace fs = std::filesystem;

namespace platform::detail {
namespace {

std::string escaped(std::u16string_view text) {
    std::string out;
    for (char c : platform::toUtf8(text)) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
    return out;
}

std::u16string unescaped(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char next = text[++i];
        out += next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    }
    return platform::fromUtf8(out);
}

fs::path lockOf(const fs::path& file) {
    fs::path lock = file;
    lock += ".lock";
    return lock;
}

void appendRecord(std::string& text, const std::vector<std::u16string>& fields) {
    for (size_t i = 0; i < fields.size(); ++i) text += (i ? "\t" : "") + escaped(fields[i]);
    text += "\n";
}

}  // namespace

void appendJournal(const fs::path& relative, const std::vector<std::u16string>& fields) {
    const fs::path file = platform::machineRoot() / relative;
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    MachineLock lock(lockOf(file), true);
    std::string text = readHostFile(file);
    appendRecord(text, fields);
    writeHostFile(file, text);
}

void rewriteJournal(const fs::path& relative, const std::vector<std::vector<std::u16string>>& records) {
    const fs::path file = platform::machineRoot() / relative;
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    std::string text;
    for (const auto& fields : records) appendRecord(text, fields);
    MachineLock lock(lockOf(file), true);
    writeHostFile(file, text);
}

std::vector<std::vector<std::u16string>> readJournal(const fs::path& relative, size_t fields) {
    const fs::path file = platform::machineRoot() / relative;
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    std::string text;
    {
        MachineLock lock(lockOf(file), false);
        text = readHostFile(file);
    }
    std::vector<std::vector<std::u16string>> records;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::u16string> record;
        std::string_view rest = line;
        for (size_t tab; (tab = rest.find('\t')) != std::string_view::npos; rest.remove_prefix(tab + 1))
            record.push_back(unescaped(rest.substr(0, tab)));
        record.push_back(unescaped(rest));
        if (record.size() == fields) records.push_back(std::move(record));
    }
    return records;
}

void clearJournal(const fs::path& relative) {
    const fs::path file = platform::machineRoot() / relative;
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    MachineLock lock(lockOf(file), true);
    fs::remove(file, ec);
}

}  // namespace platform::detail
