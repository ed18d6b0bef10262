// The framework's instance and resource handles, shared by the whole process.
#include <atomic>

#include "afx/afxres.h"
#include "state.h"
#include "win/kernel.h"

namespace {
std::atomic<HINSTANCE> resourceHandle{nullptr};
std::atomic<HINSTANCE> instanceHandle{nullptr};
}  // namespace

namespace platform::afx {
void setInstanceHandle(HINSTANCE instance) { instanceHandle = instance; }

std::atomic<size_t>& TemporaryTally::count() {
    static std::atomic<size_t> live{0};
    return live;
}

size_t liveTemporaryWrappers() { return TemporaryTally::count().load(); }
}  // namespace platform::afx

HINSTANCE AfxGetInstanceHandle() {
    HINSTANCE instance = instanceHandle.load();
    return instance ? instance : GetModuleHandleW(nullptr);
}

HINSTANCE AfxGetResourceHandle() {
    HINSTANCE resources = resourceHandle.load();
    return resources ? resources : AfxGetInstanceHandle();
}

void AfxSetResourceHandle(HINSTANCE resources) { resourceHandle = resources; }
