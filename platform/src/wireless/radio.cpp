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

// ---- Encoding: little-endian words and counted byte strings, in the order radioFields visits them.
struct Writer {
    std::string out;
    template <class T>
    void word(const T& value) {
        const auto bits = static_cast<uint32_t>(value);
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(bits >> (8 * i)));
    }
    void bytes(const std::string& text) {
        word(text.size());
        out += text;
    }
    void wide(const std::u16string& text) { bytes(platform::toUtf8(text)); }
    template <class T>
    void optional(const std::optional<T>& value) {
        word(value.has_value());
        if (value) field(*value);
    }
    template <class T, class F>
    void list(const std::vector<T>& items, F&& each) {
        word(items.size());
        for (const T& item : items) each(item);
    }
    void field(const uint32_t& value) { word(value); }
    void field(const std::string& value) { bytes(value); }
    void field(const std::vector<std::string>& values) {
        list(values, [this](const std::string& value) { bytes(value); });
    }
};

// Reads what Writer wrote; any read past the end marks the whole input as damaged.
struct Reader {
    const unsigned char* at;
    size_t left;
    bool ok = true;
    uint32_t next() {
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
    template <class T>
    void word(T& value) {
        value = static_cast<T>(next());
    }
    void word(bool& value) { value = next() != 0; }
    void bytes(std::string& text) {
        const uint32_t size = next();
        if (size > left) {
            ok = false;
            left = 0;
            return;
        }
        text.assign(reinterpret_cast<const char*>(at), size);
        at += size;
        left -= size;
    }
    void wide(std::u16string& text) {
        std::string utf8;
        bytes(utf8);
        text = platform::fromUtf8(utf8);
    }
    template <class T>
    void optional(std::optional<T>& value) {
        value.reset();
        if (next() == 0) return;
        field(value.emplace());
    }
    // A count of items, each of at least 4 bytes: no more than the input can hold.
    template <class T, class F>
    void list(std::vector<T>& items, F&& each) {
        const uint32_t count = next();
        if (count > left / 4) ok = false;
        items.clear();
        for (uint32_t i = 0; i < count && ok; ++i) each(items.emplace_back());
    }
    void field(uint32_t& value) { value = next(); }
    void field(std::string& value) { bytes(value); }
    void field(std::vector<std::string>& values) {
        list(values, [this](std::string& value) { bytes(value); });
    }
};

// Every field of a radio, in the order of the file, for Writer (a const radio) and Reader.
template <class Io, class R>
void radioFields(Io& io, R& radio) {
    io.word(radio.wzc.present);
    io.word(radio.wzc.running);
    io.word(radio.wzc.enumResult);
    io.word(radio.wzc.describeResult);
    io.word(radio.wzc.scanResult);
    io.optional(radio.wzc.scanOutFlags);
    io.word(radio.nativeWifi.present);
    io.word(radio.nativeWifi.running);
    io.word(radio.nativeWifi.openResult);
    io.word(radio.nativeWifi.enumResult);
    io.word(radio.nativeWifi.listResult);
    io.word(radio.ndisuio.present);
    io.word(radio.ndisuio.bindWaitError);
    io.optional(radio.ndisuio.rawBindings);
    io.word(radio.ndisuio.listError);
    io.list(radio.adapters, [&io](auto& adapter) {
        io.wide(adapter.guid);
        io.wide(adapter.description);
        io.list(adapter.networks, [&io](auto& network) {
            io.wide(network.profile);
            io.bytes(network.ssid);
            io.optional(network.ssidLength);
            io.word(network.quality);
            io.word(network.authentication);
            io.word(network.cipher);
            io.word(network.rssi);
            io.word(network.privacy);
        });
        io.word(adapter.wzcOtherLayout);
        io.optional(adapter.wzcBssidLength);
        io.optional(adapter.wzcBssidData);
        io.optional(adapter.ndisBssidList);
    });
}

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
    radioFields(w, radio);
    return w.out;
}

std::optional<Radio> decodeRadio(const unsigned char* bytes, size_t size) {
    const size_t magic = sizeof(kMagic) - 1;
    if (!bytes || size < magic || std::memcmp(bytes, kMagic, magic) != 0) return std::nullopt;
    Reader r{bytes + magic, size - magic};
    Radio radio;
    radioFields(r, radio);
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
