// The wizard's templates and texts as a language library carries them (English texts), and the
// program's banners, for tests that run the wizard in process.
#pragma once

#include <string>

#include "platform/resources.h"
#include "resources/support/pictures.h"
#include "win/user.h"

namespace caspentest {

namespace res = platform::resources;

constexpr DWORD kVis = WS_CHILD | WS_VISIBLE;
constexpr uint32_t kBannerColour = 0x2040C0, kRightToLeftBannerColour = 0xC04020;

inline res::DialogTemplate page(int16_t cx, int16_t cy, std::vector<res::DialogControl> controls) {
    res::DialogTemplate d;
    d.fontFace = u"MS Shell Dlg";
    d.style = WS_CHILD;
    d.cx = cx;
    d.cy = cy;
    d.controls = std::move(controls);
    return d;
}

inline res::ResourceFile wizardLibrary() {
    res::ResourceFile f;
    res::DialogTemplate frame;
    frame.title = u"Wizard";
    frame.fontFace = u"MS Shell Dlg";
    frame.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    frame.cx = 313;
    frame.cy = 249;
    frame.controls = {
        {u"STATIC", u"", 1013, kVis | SS_BITMAP, 0, 0, 0, 313, 43},
        {u"STATIC", u"Connection failed", 1024, kVis | SS_RIGHT, 0, 8, 7, 295, 20},
        {u"BUTTON", u"Pages", 1017, WS_CHILD | BS_GROUPBOX, 0, 0, 48, 313, 166},
        {u"BUTTON", u"Print Wi-Fi information page", 1022, kVis | WS_TABSTOP, 0, 7, 228, 103, 14},
        {u"BUTTON", u"Refresh", 1023, kVis | WS_TABSTOP, 0, 7, 228, 59, 14},
        {u"BUTTON", u"< Back", 1018, kVis | WS_TABSTOP, 0, 137, 228, 50, 14},
        {u"BUTTON", u"Next >", 1020, kVis | WS_TABSTOP, 0, 191, 228, 50, 14},
        {u"BUTTON", u"Cancel", 1019, kVis | WS_TABSTOP, 0, 254, 228, 50, 14},
        {u"BUTTON", u"Finish", 1021, kVis | WS_TABSTOP, 0, 254, 228, 50, 14},
    };
    f.dialogs[140] = frame;
    f.dialogs[141] = page(309, 166,
                          {{u"STATIC", u"Pick your network", 1027, kVis, 0, 7, 7, 295, 16},
                           {u"SysListView32", u"", 1000,
                            kVis | WS_TABSTOP | WS_BORDER | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS, 0, 7,
                            26, 295, 100},
                           {u"STATIC", u"Print the printer's list", 1028, WS_CHILD, 0, 7, 26, 295, 16},
                           {u"BUTTON", u"Enter the name", 1026, kVis | WS_TABSTOP | BS_AUTOCHECKBOX, 0, 7, 130, 120, 10},
                           {u"STATIC", u"Network name (SSID):", 1029, kVis, 0, 7, 146, 80, 10},
                           {u"EDIT", u"", 1002, kVis | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, 0, 90, 144, 150, 12}});
    f.dialogs[129] = page(311, 173,
                          {{u"STATIC", u"Check the credentials", -1, kVis, 0, 7, 7, 295, 16},
                           {u"EDIT", u"", 1002, kVis | WS_BORDER | ES_READONLY | ES_AUTOHSCROLL, 0, 90, 30, 150, 12},
                           {u"COMBOBOX", u"", 1009, kVis | WS_TABSTOP | CBS_DROPDOWNLIST, 0, 90, 50, 150, 60},
                           {u"STATIC", u"Key:", 1025, kVis, 0, 7, 72, 80, 10},
                           {u"EDIT", u"", 1003, kVis | WS_TABSTOP | WS_BORDER | ES_PASSWORD | ES_AUTOHSCROLL, 0, 90,
                            70, 150, 12},
                           {u"BUTTON", u"Show the key", 1001, kVis | WS_TABSTOP | BS_AUTOCHECKBOX, 0, 90, 90, 100, 10}});
    f.dialogs[131] = page(311, 173, {{u"STATIC", u"Setting up", -1, kVis, 0, 7, 7, 295, 16}});
    f.dialogs[130] = page(311, 173, {{u"STATIC", u"Done", -1, kVis, 0, 7, 7, 295, 16}});
    f.strings = {{137, u"Do you want to cancel?"},
                 {150, u"Network"},
                 {151, u"Security"},
                 {152, u"Signal"},
                 {156, u"None"},
                 {158, u"The print port is busy: no information page"},
                 {159, u"The print port is busy: no set-up"}};
    return f;
}

// The program's own banners: 131 and the right-to-left 147, told apart by their colour.
inline res::ResourceFile programBanners() {
    res::ResourceFile f;
    for (auto [id, colour] : {std::pair<UINT, uint32_t>{131, kBannerColour}, {147, kRightToLeftBannerColour}}) {
        resources_test::DibShape banner;
        banner.width = 16;
        banner.height = 4;
        banner.pixel = [colour = colour](int, int) { return colour; };
        f.bitmaps[id] = resources_test::bmpFile(banner);
    }
    return f;
}

}  // namespace caspentest
