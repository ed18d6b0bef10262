// The machine's radio (platform/radio.h): "radio.bin" below the root, and this process's counts.
#include <algorithm>
#include <cstring>

#include "../internal.h"
#include "platform/low_memory.h"
#include "radio_internal.h"
#include "win/kernel.h"

namespace fs = std::filesystem;

namespace {

using platform::radio::Adapter;
using platform::radio::Network;
using platform::radio::Radio;

const char kMagic[] = "RADIO1\n";

fs::path radioFile() { return platform::machineRoot() / "radio.bin"; }
fs::path radioLock() { return platform::machineRoot() / "radio.lock"; }

// ---- Encoding: little-endian words, counted byte strings, in the order of the records' fields.
struct Writer {
    std::string out;
    void word(uint32_t value) {
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(value >> (8 * i)));
    }
    void bytes(std::string_view text) {
        word(static_cast<uint32_t>(text.size()));
        out += text;
    }
    void wide(std::u16string_view text) { bytes(platform::toUtf8(text)); }
    void optionalWord(const std::optional<uint32_t>& value) {
        word(value ? 1 : 0);
        word(value.value_or(0));
    }
    void optionalBytes(const std::optional<std::string>& value) {
        word(value ? 1 : 0);
        bytes(value.value_or(std::string()));
    }
};

// Reads what Writer wrote; any read past the end marks the whole input as damaged.
struct Reader {
    const unsigned char* at;
    size_t left;
    bool ok = true;
    uint32_t word() {
        if (left < 4) {
            ok = false;
            left = 0;
            return 0;
        }
        uint32_t value = at[0] | at[1] << 8 | at[2] << 16 | static_cast<uint32_t>(at[3]) << 24;
        at += 4;
        left -= 4;
        return value;
    }
    std::string bytes() {
        const uint32_t size = word();
        if (size > left) {
            ok = false;
            left = 0;
            return {};
        }
        std::string text(reinterpret_cast<const char*>(at), size);
        at += size;
        left -= size;
        return text;
    }
    std::u16string wide() { return platform::fromUtf8(bytes()); }
    std::optional<uint32_t> optionalWord() {
        const bool has = word() != 0;
        const uint32_t value = word();
        return has ? std::optional<uint32_t>(value) : std::nullopt;
    }
    std::optional<std::string> optionalBytes() {
        const bool has = word() != 0;
        std::string value = bytes();
        return has ? std::optional<std::string>(std::move(value)) : std::nullopt;
    }
    // A count of items, each at least `least` bytes: no more than the input can hold.
    uint32_t count(size_t least) {
        const uint32_t value = word();
        if (value > left / least) ok = false;
        return ok ? value : 0;
    }
};

struct CounterState {
    std::mutex mutex;
    fs::path root;  // the machine the counts belong to
    platform::radio::Counters counts;
};
CounterState& counterState() {
    static CounterState* state = new CounterState;
    return *state;
}

}  // namespace

namespace platform::radio {

std::string encodeRadio(const Radio& radio) {
    Writer w;
    w.out = kMagic;
    w.word(radio.wzc.present);
    w.word(radio.wzc.running);
    w.word(radio.wzc.enumResult);
    w.word(radio.wzc.describeResult);
    w.word(radio.wzc.scanResult);
    w.optionalWord(radio.wzc.scanOutFlags);
    w.word(radio.nativeWifi.present);
    w.word(radio.nativeWifi.running);
    w.word(radio.nativeWifi.openResult);
    w.word(radio.nativeWifi.enumResult);
    w.word(radio.nativeWifi.listResult);
    w.word(radio.ndisuio.present);
    w.word(radio.ndisuio.bindWaitError);
    w.word(radio.ndisuio.rawBindings ? 1 : 0);
    w.word(radio.ndisuio.rawBindings ? static_cast<uint32_t>(radio.ndisuio.rawBindings->size()) : 0);
    if (radio.ndisuio.rawBindings)
        for (const std::string& binding : *radio.ndisuio.rawBindings) w.bytes(binding);
    w.word(radio.ndisuio.listError);
    w.word(static_cast<uint32_t>(radio.adapters.size()));
    for (const Adapter& adapter : radio.adapters) {
        w.wide(adapter.guid);
        w.wide(adapter.description);
        w.word(static_cast<uint32_t>(adapter.networks.size()));
        for (const Network& network : adapter.networks) {
            w.wide(network.profile);
            w.bytes(network.ssid);
            w.optionalWord(network.ssidLength);
            w.word(network.quality);
            w.word(network.authentication);
            w.word(network.cipher);
            w.word(static_cast<uint32_t>(network.rssi));
            w.word(network.privacy);
        }
        w.word(adapter.wzcOtherLayout);
        w.optionalWord(adapter.wzcBssidLength);
        w.optionalBytes(adapter.wzcBssidData);
        w.optionalBytes(adapter.ndisBssidList);
    }
    return w.out;
}

std::optional<Radio> decodeRadio(const unsigned char* bytes, size_t size) {
    const size_t magic = sizeof(kMagic) - 1;
    if (!bytes || size < magic || std::memcmp(bytes, kMagic, magic) != 0) return std::nullopt;
    Reader r{bytes + magic, size - magic};
    Radio radio;
    radio.wzc.present = r.word();
    radio.wzc.running = r.word();
    radio.wzc.enumResult = r.word();
    radio.wzc.describeResult = r.word();
    radio.wzc.scanResult = r.word();
    radio.wzc.scanOutFlags = r.optionalWord();
    radio.nativeWifi.present = r.word();
    radio.nativeWifi.running = r.word();
    radio.nativeWifi.openResult = r.word();
    radio.nativeWifi.enumResult = r.word();
    radio.nativeWifi.listResult = r.word();
    radio.ndisuio.present = r.word();
    radio.ndisuio.bindWaitError = r.word();
    const bool raw = r.word() != 0;
    const uint32_t bindings = r.count(4);
    std::vector<std::string> rawBindings;
    for (uint32_t i = 0; i < bindings && r.ok; ++i) rawBindings.push_back(r.bytes());
    if (raw) radio.ndisuio.rawBindings = std::move(rawBindings);
    radio.ndisuio.listError = r.word();
    const uint32_t adapters = r.count(8);
    for (uint32_t i = 0; i < adapters && r.ok; ++i) {
        Adapter adapter;
        adapter.guid = r.wide();
        adapter.description = r.wide();
        const uint32_t networks = r.count(8);
        for (uint32_t n = 0; n < networks && r.ok; ++n) {
            Network network;
            network.profile = r.wide();
            network.ssid = r.bytes();
            network.ssidLength = r.optionalWord();
            network.quality = r.word();
            network.authentication = r.word();
            network.cipher = r.word();
            network.rssi = static_cast<LONG>(r.word());
            network.privacy = r.word();
            adapter.networks.push_back(std::move(network));
        }
        adapter.wzcOtherLayout = r.word();
        adapter.wzcBssidLength = r.optionalWord();
        adapter.wzcBssidData = r.optionalBytes();
        adapter.ndisBssidList = r.optionalBytes();
        radio.adapters.push_back(std::move(adapter));
    }
    if (!r.ok || r.left != 0) return std::nullopt;
    return radio;
}

void setRadio(const Radio& radio) {
    detail::MachineLock lock(radioLock(), true);
    detail::writeHostFile(radioFile(), encodeRadio(radio));
}

Radio currentRadio() {
    std::string bytes;
    bool ok = false;
    {
        detail::MachineLock lock(radioLock(), false);
        bytes = detail::readHostFile(radioFile(), &ok);
    }
    if (!ok) return Radio();
    auto radio = decodeRadio(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    if (!radio) {
        OutputDebugStringA("radio: radio.bin is damaged; the default radio answers");
        return Radio();
    }
    return *radio;
}

Counters counters() {
    Counters copy;
    {
        std::lock_guard lock(detail::radioCountersMutex());
        copy = detail::radioCountersLocked();
    }
    const LowBlockCounts blocks = lowBlockCounts(detail::kWzcBlockOwner);
    copy.localBlocksHandedOut = blocks.handedOut;
    copy.localBlocksFreed = blocks.freed;
    return copy;
}

void resetCounters() {
    std::lock_guard lock(detail::radioCountersMutex());
    counterState().counts = Counters();
    counterState().root = machineRoot();
    resetLowBlockCounts();
}

}  // namespace platform::radio

namespace platform::detail {

std::mutex& radioCountersMutex() { return counterState().mutex; }

radio::Counters& radioCountersLocked() {
    CounterState& state = counterState();
    const fs::path root = machineRoot();
    if (state.root != root) {  // a new machine starts with nothing handed out
        state.root = root;
        state.counts = radio::Counters();
        resetLowBlockCounts();
    }
    return state.counts;
}

bool wirelessModulePresent(std::u16string_view module) {
    const Radio radio = radio::currentRadio();
    if (module == u"wzcsapi.dll") return radio.wzc.present;
    if (module == u"wlanapi.dll") return radio.nativeWifi.present;
    return true;
}

const Adapter* findAdapter(const Radio& radio, std::u16string_view name) {
    const std::u16string wanted = foldCase(name);
    for (const Adapter& adapter : radio.adapters)
        if (foldCase(adapter.guid) == wanted) return &adapter;
    return nullptr;
}

std::string reportedSsid(const Network& network) { return network.ssid.substr(0, 32); }

ULONG reportedSsidLength(const Network& network) {
    return network.ssidLength.value_or(static_cast<ULONG>(reportedSsid(network).size()));
}

}  // namespace platform::detail
