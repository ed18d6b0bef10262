// Journals of the machine: records of what programs asked for that never happens on the host.
#include <cstdlib>
#include <sstream>

#include "win/kernel.h"

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

namespace {
const fs::path kCallsOn = fs::path("calls") / "on";
const fs::path kCalls = fs::path("calls") / "journal";
const fs::path kFileCallsOn = fs::path("calls") / "files";

void setMarker(const fs::path& relative, bool on) {
    const fs::path marker = platform::machineRoot() / relative;
    std::error_code ec;
    if (!on) {
        fs::remove(marker, ec);
        return;
    }
    fs::create_directories(marker.parent_path(), ec);
    writeHostFile(marker, "on\n");
}
}  // namespace

bool callJournalOn() {
    std::error_code ec;
    return fs::exists(platform::machineRoot() / kCallsOn, ec);
}

std::u16string journalText(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::u16string journalNumber(uint64_t value) { return journalText(std::to_string(value)); }

void journalCall(std::string_view call, std::u16string_view arguments, std::u16string_view result, DWORD error) {
    if (!callJournalOn()) return;
    appendJournal(kCalls, {journalNumber(GetCurrentProcessId()), journalText(call), std::u16string(arguments),
                           std::u16string(result), journalNumber(error)});
}

bool fileCallJournalOn() {
    std::error_code ec;
    return fs::exists(platform::machineRoot() / kFileCallsOn, ec);
}

void journalFileCall(std::string_view call, std::u16string_view arguments, BOOL result) {
    if (!fileCallJournalOn()) return;
    const DWORD error = GetLastError();
    appendJournal(kCalls, {journalNumber(GetCurrentProcessId()), journalText(call), std::u16string(arguments),
                           result ? u"TRUE" : u"FALSE", journalNumber(result ? ERROR_SUCCESS : error)});
    SetLastError(error);
}

void journalRegistryCall(std::string_view call, std::u16string_view arguments, LSTATUS status) {
    if (!fileCallJournalOn()) return;
    const DWORD error = GetLastError();
    appendJournal(kCalls, {journalNumber(GetCurrentProcessId()), journalText(call), std::u16string(arguments),
                           journalNumber(static_cast<DWORD>(status)), journalNumber(static_cast<DWORD>(status))});
    SetLastError(error);
}

}  // namespace platform::detail

namespace platform {

void setCallJournal(bool on) { detail::setMarker(detail::kCallsOn, on); }

void setFileCallJournal(bool on) { detail::setMarker(detail::kFileCallsOn, on); }

std::vector<CallRecord> callJournal() {
    std::vector<CallRecord> records;
    for (auto& fields : detail::readJournal(detail::kCalls, 5)) {
        CallRecord record;
        record.processId = static_cast<DWORD>(std::strtoul(toUtf8(fields[0]).c_str(), nullptr, 10));
        record.call = toUtf8(fields[1]);
        record.arguments = std::move(fields[2]);
        record.result = std::move(fields[3]);
        record.error = static_cast<DWORD>(std::strtoul(toUtf8(fields[4]).c_str(), nullptr, 10));
        records.push_back(std::move(record));
    }
    return records;
}

void clearCallJournal() { detail::clearJournal(detail::kCalls); }

}  // namespace platform
