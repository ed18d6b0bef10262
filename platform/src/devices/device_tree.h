// The device tree inside the layer: what the device namespaces need of it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "../internal.h"
#include "win/com.h"

namespace platform::detail {

// A GUID as StringFromGUID2 writes it: braced, upper case.
std::u16string guidText(const GUID& guid);
// The interface of a present device with this path (compared without regard to case).
std::optional<DeviceInterfaceEntry> findInterface(std::u16string_view path);
// Whether the machine has "newdev.dll": its system is version 6.1 or later.
bool newdevPresent(std::u16string_view module);

}  // namespace platform::detail
