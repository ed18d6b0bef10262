// The wireless listing layer: the PC's wireless adapters and the networks each one sees, through the
// first of three system interfaces that works (Wireless Zero Configuration, Native Wi-Fi, NDISUIO).
// Every failure is thrown as a wlanapi_exception; callers catch std::exception and read what().
#pragma once

#include <memory>
#include <stdexcept>
#include <vector>

#include "NetworkRecords.h"
#include "win/kernel.h"
#include "win/wlan.h"

// A failure of the layer: a printf-style text, formatted into 512 bytes (truncating).
class wlanapi_exception : public std::runtime_error {
public:
    explicit wlanapi_exception(const char* format, ...) __attribute__((format(printf, 2, 3)));
    const char* what() const noexcept override { return text_; }

private:
    char text_[512];
};

// The back-end object of one listing. Modules and functions are bound on first use; the method that
// lists the adapters first is remembered with its scan, so the scan uses the same interface.
class wlanapi {
public:
    wlanapi() = default;
    ~wlanapi();  // closes the Native Wi-Fi client handle; loaded modules stay loaded
    wlanapi(const wlanapi&) = delete;
    wlanapi& operator=(const wlanapi&) = delete;

    // Fills and returns the adapter list (an empty one: the PC has no wireless adapter).
    const std::vector<AdapterRecord>& get_adapter_list();
    // Appends every adapter's networks to the network list and returns it.
    const std::vector<NetworkRecord>& scan_adapters();
    // The lists as they stand (after a failed scan: the records appended before it).
    const std::vector<AdapterRecord>& adapters() const { return adapters_; }
    const std::vector<NetworkRecord>& networks() const { return networks_; }

    // The six back-ends, called through the two remembered slots; each throws its failure. A scan
    // needs its own interface's adapter list first (modules, functions and the client handle).
    void wzc_get_adapter_list();
    void wzc_scan_adapter(const AdapterRecord& adapter);
    void wlan_get_adapter_list();
    void wlan_scan_adapter(const AdapterRecord& adapter);
    void ndis_get_adapter_list();
    void ndis_scan_adapter(const AdapterRecord& adapter);

private:
    using ListMethod = void (wlanapi::*)();
    using ScanMethod = void (wlanapi::*)(const AdapterRecord&);

    // "wzcsapi"
    HMODULE wzc_module_ = nullptr;
    decltype(&WZCEnumInterfaces) WZCEnumInterfaces_ = nullptr;
    decltype(&WZCQueryInterface) WZCQueryInterface_ = nullptr;
    decltype(&WZCRefreshInterface) WZCRefreshInterface_ = nullptr;
    // "wlanapi"
    HMODULE wlan_module_ = nullptr;
    HANDLE client_ = nullptr;
    decltype(&WlanOpenHandle) WlanOpenHandle_ = nullptr;
    decltype(&WlanEnumInterfaces) WlanEnumInterfaces_ = nullptr;
    decltype(&WlanGetNetworkBssList) WlanGetNetworkBssList_ = nullptr;
    decltype(&WlanCloseHandle) WlanCloseHandle_ = nullptr;
    decltype(&WlanFreeMemory) WlanFreeMemory_ = nullptr;
    decltype(&WlanGetAvailableNetworkList) WlanGetAvailableNetworkList_ = nullptr;

    std::vector<AdapterRecord> adapters_;
    std::vector<NetworkRecord> networks_;
    ListMethod list_method_ = nullptr;
    ScanMethod scan_method_ = nullptr;
};

// The owner the network list page makes for one filling of its list.
class mywlanapi {
public:
    mywlanapi() : api_(std::make_unique<wlanapi>()) {}
    virtual ~mywlanapi() = default;
    wlanapi& api() { return *api_; }

private:
    std::unique_ptr<wlanapi> api_;
};
