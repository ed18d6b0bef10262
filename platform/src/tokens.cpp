// Security: the machine's user token, this process's copy of its privileges, SIDs, and the restart
// request that is journalled and never carried out.
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>

#include "internal.h"
#include "win/kernel.h"
#include "win/processes.h"
#include "win/security.h"

namespace fs = std::filesystem;

namespace {

const fs::path kTokenFile = fs::path("security") / "token";
const fs::path kShutdowns = fs::path("system") / "shutdowns";

// Local identifiers of the privileges the layer knows, as Windows numbers them.
struct KnownPrivilege {
    const char* name;
    DWORD luid;
};
constexpr KnownPrivilege kPrivileges[] = {
    {"SeSecurityPrivilege", 8},         {"SeTakeOwnershipPrivilege", 9}, {"SeLoadDriverPrivilege", 10},
    {"SeSystemtimePrivilege", 12},      {"SeBackupPrivilege", 17},       {"SeRestorePrivilege", 18},
    {"SeShutdownPrivilege", 19},        {"SeDebugPrivilege", 20},        {"SeChangeNotifyPrivilege", 23},
    {"SeUndockPrivilege", 25},          {"SeIncreaseWorkingSetPrivilege", 33}, {"SeTimeZonePrivilege", 34},
};

const KnownPrivilege* privilegeByName(std::string_view name) {
    for (const KnownPrivilege& known : kPrivileges)
        if (platform::detail::foldCase(platform::fromUtf8(known.name)) == platform::detail::foldCase(platform::fromUtf8(name)))
            return &known;
    return nullptr;
}

const KnownPrivilege* privilegeByLuid(const LUID& luid) {
    for (const KnownPrivilege& known : kPrivileges)
        if (luid.HighPart == 0 && known.luid == luid.LowPart) return &known;
    return nullptr;
}

// "S-1-5-32-544" as the bytes of a SID (revision, count, 48-bit authority, sub-authorities); empty
// when the text is no SID.
std::string sidBytes(const std::string& text) {
    std::vector<uint64_t> numbers;
    if (text.rfind("S-", 0) != 0) return {};
    std::istringstream parts(text.substr(2));
    for (std::string part; std::getline(parts, part, '-');) {
        if (part.empty() || part.find_first_not_of("0123456789") != std::string::npos || part.size() > 15) return {};
        numbers.push_back(std::stoull(part));
    }
    if (numbers.size() < 2 || numbers.size() > 10 || numbers[0] != 1 || numbers[1] >= (1ull << 48)) return {};
    std::string bytes;
    bytes += static_cast<char>(1);
    bytes += static_cast<char>(numbers.size() - 2);
    for (int shift = 40; shift >= 0; shift -= 8) bytes += static_cast<char>((numbers[1] >> shift) & 0xFF);
    for (size_t i = 2; i < numbers.size(); ++i) {
        if (numbers[i] > 0xFFFFFFFFull) return {};
        for (int shift = 0; shift < 32; shift += 8) bytes += static_cast<char>((numbers[i] >> shift) & 0xFF);
    }
    return bytes;
}

size_t sidLength(const BYTE* sid) { return 8 + 4 * static_cast<size_t>(sid[1]); }

platform::UserToken parseToken(const std::string& text) {
    platform::UserToken token;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string kind, name, value;
        fields >> kind >> name >> value;
        char* end = nullptr;
        const unsigned long number = std::strtoul(value.c_str(), &end, 0);
        if (value.empty() || *end) continue;
        if (kind == "group" && !sidBytes(name).empty()) token.groups.push_back({name, static_cast<DWORD>(number)});
        else if (kind == "privilege" && privilegeByName(name)) token.privileges.push_back({name, number != 0});
    }
    return token;
}

// This process's token: loaded from the machine on first use, its privileges then changed only here.
struct ProcessToken {
    std::mutex mutex;
    fs::path root;
    platform::UserToken token;
};
ProcessToken& processToken() {
    static ProcessToken* kept = new ProcessToken;
    return *kept;
}

platform::UserToken& currentToken(ProcessToken& state) {
    if (state.root != platform::machineRoot()) {
        state.root = platform::machineRoot();
        state.token = platform::userToken();
    }
    return state.token;
}

struct TokenObject : platform::detail::KernelObject {
    DWORD access = 0;
};

bool fail(DWORD error) {
    SetLastError(error);
    return false;
}

}  // namespace

namespace platform {

UserToken defaultUserToken() {
    UserToken token;
    token.groups = {{"S-1-1-0", 0x7}, {"S-1-5-32-544", 0xF}, {"S-1-5-32-545", 0x7}};
    token.privileges = {{"SeShutdownPrivilege", false}, {"SeChangeNotifyPrivilege", true}};
    return token;
}

UserToken userToken() {
    bool ok = false;
    const std::string text = detail::readHostFile(machineRoot() / kTokenFile, &ok);
    return ok ? parseToken(text) : defaultUserToken();
}

void setUserToken(const UserToken& token) {
    std::string text;
    for (const TokenGroup& group : token.groups) text += "group " + group.sid + " " + std::to_string(group.attributes) + "\n";
    for (const TokenPrivilege& privilege : token.privileges)
        text += "privilege " + privilege.name + " " + (privilege.enabled ? "1" : "0") + "\n";
    std::error_code ec;
    fs::create_directories((machineRoot() / kTokenFile).parent_path(), ec);
    detail::writeHostFile(machineRoot() / kTokenFile, text);
    auto& state = processToken();
    std::lock_guard lock(state.mutex);
    state.root.clear();
}

std::vector<ShutdownRequest> shutdownRequests() {
    std::vector<ShutdownRequest> requests;
    for (const auto& fields : detail::readJournal(kShutdowns, 3)) {
        ShutdownRequest request;
        request.processId = static_cast<DWORD>(std::strtoul(toUtf8(fields[0]).c_str(), nullptr, 10));
        request.flags = static_cast<UINT>(std::strtoul(toUtf8(fields[1]).c_str(), nullptr, 10));
        request.reason = static_cast<DWORD>(std::strtoul(toUtf8(fields[2]).c_str(), nullptr, 10));
        requests.push_back(request);
    }
    return requests;
}

}  // namespace platform

namespace platform::detail {
bool privilegeEnabled(std::string_view name) {
    auto& state = processToken();
    std::lock_guard lock(state.mutex);
    for (const TokenPrivilege& privilege : currentToken(state).privileges)
        if (foldCase(fromUtf8(privilege.name)) == foldCase(fromUtf8(name))) return privilege.enabled;
    return false;
}
}  // namespace platform::detail

BOOL WINAPI OpenProcessToken(HANDLE process, DWORD access, PHANDLE token) {
    if (!token) return fail(ERROR_INVALID_PARAMETER);
    if (auto fault = platform::detail::takeFault("OpenProcessToken")) return fail(fault->error ? fault->error : ERROR_ACCESS_DENIED);
    if (process != GetCurrentProcess() && GetProcessId(process) != GetCurrentProcessId())
        return fail(GetProcessId(process) ? ERROR_ACCESS_DENIED : ERROR_INVALID_HANDLE);
    auto object = std::make_shared<TokenObject>();
    object->access = access;
    *token = platform::detail::insertHandle(object);
    return TRUE;
}

BOOL WINAPI GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS informationClass, LPVOID information,
                                DWORD length, PDWORD returnLength) {
    auto object = platform::detail::handleAs<TokenObject>(token);
    if (!object) return fail(ERROR_INVALID_HANDLE);
    if (!(object->access & TOKEN_QUERY)) return fail(ERROR_ACCESS_DENIED);
    if (!returnLength) return fail(ERROR_INVALID_PARAMETER);
    if (auto fault = platform::detail::takeFault("GetTokenInformation")) return fail(fault->error ? fault->error : ERROR_ACCESS_DENIED);
    platform::UserToken current;
    {
        auto& state = processToken();
        std::lock_guard lock(state.mutex);
        current = currentToken(state);
    }
    if (informationClass == TokenGroups) {
        std::vector<std::string> sids;
        size_t needed = offsetof(TOKEN_GROUPS, Groups) + current.groups.size() * sizeof(SID_AND_ATTRIBUTES);
        for (const platform::TokenGroup& group : current.groups) {
            sids.push_back(sidBytes(group.sid));
            needed += sids.back().size();
        }
        *returnLength = static_cast<DWORD>(needed);
        if (!information || length < needed) return fail(ERROR_INSUFFICIENT_BUFFER);
        auto* groups = static_cast<TOKEN_GROUPS*>(information);
        groups->GroupCount = static_cast<DWORD>(current.groups.size());
        BYTE* next = static_cast<BYTE*>(information) + offsetof(TOKEN_GROUPS, Groups) +
                     current.groups.size() * sizeof(SID_AND_ATTRIBUTES);
        for (size_t i = 0; i < current.groups.size(); ++i) {
            std::memcpy(next, sids[i].data(), sids[i].size());
            groups->Groups[i].Sid = next;
            groups->Groups[i].Attributes = current.groups[i].attributes;
            next += sids[i].size();
        }
        return TRUE;
    }
    if (informationClass == TokenPrivileges) {
        const size_t needed = offsetof(TOKEN_PRIVILEGES, Privileges) + current.privileges.size() * sizeof(LUID_AND_ATTRIBUTES);
        *returnLength = static_cast<DWORD>(needed);
        if (!information || length < needed) return fail(ERROR_INSUFFICIENT_BUFFER);
        auto* privileges = static_cast<TOKEN_PRIVILEGES*>(information);
        privileges->PrivilegeCount = static_cast<DWORD>(current.privileges.size());
        for (size_t i = 0; i < current.privileges.size(); ++i) {
            privileges->Privileges[i].Luid = {privilegeByName(current.privileges[i].name)->luid, 0};
            privileges->Privileges[i].Attributes = current.privileges[i].enabled ? SE_PRIVILEGE_ENABLED : 0;
        }
        return TRUE;
    }
    return fail(ERROR_INVALID_PARAMETER);
}

BOOL WINAPI AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD sub0, DWORD sub1,
                                     DWORD sub2, DWORD sub3, DWORD sub4, DWORD sub5, DWORD sub6, DWORD sub7,
                                     PSID* sid) {
    if (!authority || !sid || count > 8) return fail(ERROR_INVALID_PARAMETER);
    if (auto fault = platform::detail::takeFault("AllocateAndInitializeSid"))
        return fail(fault->error ? fault->error : ERROR_NOT_ENOUGH_MEMORY);
    const DWORD subs[8] = {sub0, sub1, sub2, sub3, sub4, sub5, sub6, sub7};
    auto* bytes = static_cast<BYTE*>(std::malloc(8 + 4 * static_cast<size_t>(count)));
    if (!bytes) return fail(ERROR_NOT_ENOUGH_MEMORY);
    bytes[0] = 1;
    bytes[1] = count;
    std::memcpy(bytes + 2, authority->Value, 6);
    for (BYTE i = 0; i < count; ++i)
        for (int b = 0; b < 4; ++b) bytes[8 + 4 * i + b] = static_cast<BYTE>(subs[i] >> (8 * b));
    *sid = bytes;
    return TRUE;
}

BOOL WINAPI EqualSid(PSID a, PSID b) {
    if (!a || !b) return fail(ERROR_INVALID_PARAMETER);
    const auto* left = static_cast<const BYTE*>(a);
    const auto* right = static_cast<const BYTE*>(b);
    SetLastError(ERROR_SUCCESS);
    return sidLength(left) == sidLength(right) && std::memcmp(left, right, sidLength(left)) == 0;
}

PVOID WINAPI FreeSid(PSID sid) {
    std::free(sid);
    return nullptr;
}

BOOL WINAPI LookupPrivilegeValueW(LPCWSTR systemName, LPCWSTR name, PLUID luid) {
    if (!name || !luid) return fail(ERROR_INVALID_PARAMETER);
    if (systemName && *systemName) return fail(ERROR_NOT_SUPPORTED);
    if (auto fault = platform::detail::takeFault("LookupPrivilegeValueW"))
        return fail(fault->error ? fault->error : ERROR_NO_SUCH_PRIVILEGE);
    const KnownPrivilege* known = privilegeByName(platform::toUtf8(name));
    if (!known) return fail(ERROR_NO_SUCH_PRIVILEGE);
    *luid = {known->luid, 0};
    return TRUE;
}

BOOL WINAPI AdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES newState, DWORD bufferLength,
                                  PTOKEN_PRIVILEGES previousState, PDWORD returnLength) {
    using platform::detail::journalCall;
    using platform::detail::journalText;
    auto object = platform::detail::handleAs<TokenObject>(token);
    std::u16string arguments = disableAll ? u"disable all" : u"";
    if (!disableAll && newState) {
        for (DWORD i = 0; i < newState->PrivilegeCount; ++i) {
            const KnownPrivilege* known = privilegeByLuid(newState->Privileges[i].Luid);
            if (!arguments.empty()) arguments += u", ";
            arguments += journalText(known ? known->name : "?") +
                         ((newState->Privileges[i].Attributes & SE_PRIVILEGE_ENABLED) ? u" enabled" : u" disabled");
        }
    }
    auto answer = [&](BOOL result, DWORD error) {
        SetLastError(error);
        journalCall("AdjustTokenPrivileges", arguments, result ? u"TRUE" : u"FALSE", error);
        return result;
    };
    if (!object) return answer(FALSE, ERROR_INVALID_HANDLE);
    if (!(object->access & TOKEN_ADJUST_PRIVILEGES)) return answer(FALSE, ERROR_ACCESS_DENIED);
    if (!disableAll && !newState) return answer(FALSE, ERROR_INVALID_PARAMETER);
    if (auto fault = platform::detail::takeFault("AdjustTokenPrivileges"))
        return answer(FALSE, fault->error ? fault->error : ERROR_ACCESS_DENIED);
    auto& state = processToken();
    std::lock_guard lock(state.mutex);
    platform::UserToken& current = currentToken(state);
    const platform::UserToken before = current;
    bool allAssigned = true;
    if (disableAll) {
        for (platform::TokenPrivilege& privilege : current.privileges) privilege.enabled = false;
    } else {
        for (DWORD i = 0; i < newState->PrivilegeCount; ++i) {
            const KnownPrivilege* known = privilegeByLuid(newState->Privileges[i].Luid);
            bool held = false;
            for (platform::TokenPrivilege& privilege : current.privileges) {
                if (!known || privilegeByName(privilege.name) != known) continue;
                privilege.enabled = (newState->Privileges[i].Attributes & SE_PRIVILEGE_ENABLED) != 0;
                held = true;
            }
            allAssigned = allAssigned && held;
        }
    }
    if (previousState) {
        const size_t needed = offsetof(TOKEN_PRIVILEGES, Privileges) + before.privileges.size() * sizeof(LUID_AND_ATTRIBUTES);
        if (returnLength) *returnLength = static_cast<DWORD>(needed);
        if (bufferLength < needed) {
            current = before;
            return answer(FALSE, ERROR_INSUFFICIENT_BUFFER);
        }
        previousState->PrivilegeCount = static_cast<DWORD>(before.privileges.size());
        for (size_t i = 0; i < before.privileges.size(); ++i) {
            previousState->Privileges[i].Luid = {privilegeByName(before.privileges[i].name)->luid, 0};
            previousState->Privileges[i].Attributes = before.privileges[i].enabled ? SE_PRIVILEGE_ENABLED : 0;
        }
    }
    return answer(TRUE, allAssigned ? ERROR_SUCCESS : ERROR_NOT_ALL_ASSIGNED);
}

BOOL WINAPI ExitWindowsEx(UINT flags, DWORD reason) {
    using platform::detail::journalNumber;
    const std::u16string arguments = journalNumber(flags) + u", " + journalNumber(reason);
    auto answer = [&](BOOL result, DWORD error) {
        SetLastError(error);
        platform::detail::journalCall("ExitWindowsEx", arguments, result ? u"TRUE" : u"FALSE", error);
        return result;
    };
    if (auto fault = platform::detail::takeFault("ExitWindowsEx")) return answer(FALSE, fault->error ? fault->error : ERROR_ACCESS_DENIED);
    const bool endsSystem = (flags & (EWX_SHUTDOWN | EWX_REBOOT | EWX_POWEROFF)) != 0;
    if (endsSystem && !platform::detail::privilegeEnabled("SeShutdownPrivilege")) return answer(FALSE, ERROR_PRIVILEGE_NOT_HELD);
    platform::detail::appendJournal(kShutdowns, {journalNumber(GetCurrentProcessId()), journalNumber(flags), journalNumber(reason)});
    return answer(TRUE, ERROR_SUCCESS);
}
