// Last error, kernel handles, fault switches.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <stdexcept>
#include <unordered_map>

#include "internal.h"

namespace {
thread_local DWORD t_lastError = 0;

struct HandleTable {
    std::mutex mutex;
    std::unordered_map<uintptr_t, std::shared_ptr<platform::detail::KernelObject>> objects;
    uintptr_t next = 0x1000;
};
HandleTable& handles() {
    static HandleTable* table = new HandleTable;  // outlives static destructors of modules
    return *table;
}

struct FaultState {
    std::mutex mutex;
    std::multimap<std::string, platform::Fault, std::less<>> rules;
    std::map<std::string, int, std::less<>> calls;
};
FaultState& faults() {
    static FaultState* state = new FaultState;
    return *state;
}

constexpr platform::FaultSwitch kFaultSwitches[] = {
#define FAULT_SWITCH(name, effect) {name, effect},
#include "fault_switches.inc"
#undef FAULT_SWITCH
};

bool isFaultSwitch(std::string_view name) {
    return std::any_of(std::begin(kFaultSwitches), std::end(kFaultSwitches),
                       [&](const platform::FaultSwitch& entry) { return entry.name == name; });
}
}  // namespace

DWORD WINAPI GetLastError() { return t_lastError; }
void WINAPI SetLastError(DWORD error) { t_lastError = error; }

namespace platform {

std::span<const FaultSwitch> faultSwitches() { return kFaultSwitches; }

namespace {
void requireSwitch(std::string_view function) {
    if (!isFaultSwitch(function))
        throw std::invalid_argument("no fault switch is named \"" + std::string(function) + "\"");
}
}  // namespace

void setFault(std::string_view function, const Fault& fault) {
    requireSwitch(function);
    auto& state = faults();
    std::lock_guard lock(state.mutex);
    state.rules.emplace(std::string(function), fault);
}

void clearFaults() {
    auto& state = faults();
    {
        std::lock_guard lock(state.mutex);
        state.rules.clear();
        state.calls.clear();
    }
    clearSleepLog();
}

int callCount(std::string_view function) {
    requireSwitch(function);
    auto& state = faults();
    std::lock_guard lock(state.mutex);
    auto it = state.calls.find(function);
    return it == state.calls.end() ? 0 : it->second;
}

namespace detail {

std::optional<Fault> takeFault(std::string_view function, std::string_view detail, uint64_t size) {
    // A layer function consulting a switch the table lacks could never be made to fail.
    if (!isFaultSwitch(function)) {
        std::fprintf(stderr, "platform: fault switch \"%.*s\" is missing from fault_switches.inc\n",
                     static_cast<int>(function.size()), function.data());
        std::abort();
    }
    auto& state = faults();
    std::lock_guard lock(state.mutex);
    auto counted = state.calls.find(function);
    if (counted == state.calls.end()) counted = state.calls.emplace(std::string(function), 0).first;
    ++counted->second;
    auto [first, last] = state.rules.equal_range(function);
    for (auto it = first; it != last; ++it) {
        Fault& rule = it->second;
        if (!rule.detail.empty() && rule.detail != detail) continue;
        if (size < rule.minSize) continue;
        if (rule.skip > 0) {
            --rule.skip;
            continue;
        }
        if (rule.times == 0) continue;
        Fault struck = rule;
        if (rule.times > 0) --rule.times;
        return struck;
    }
    return std::nullopt;
}

HANDLE insertHandle(std::shared_ptr<KernelObject> object) {
    auto& table = handles();
    std::lock_guard lock(table.mutex);
    uintptr_t value = table.next;
    table.next += 4;
    table.objects.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> findHandle(HANDLE handle) {
    auto& table = handles();
    std::lock_guard lock(table.mutex);
    auto it = table.objects.find(reinterpret_cast<uintptr_t>(handle));
    return it == table.objects.end() ? nullptr : it->second;
}

bool removeHandle(HANDLE handle) {
    std::shared_ptr<KernelObject> doomed;  // destroyed outside the lock
    auto& table = handles();
    std::lock_guard lock(table.mutex);
    auto it = table.objects.find(reinterpret_cast<uintptr_t>(handle));
    if (it == table.objects.end()) return false;
    doomed = std::move(it->second);
    table.objects.erase(it);
    return true;
}

}  // namespace detail
}  // namespace platform
