// Menus: the system menus of windows.
#include <map>
#include <memory>

#include "state.h"

IMPLEMENT_DYNAMIC(CMenu, CObject)

UINT CMenu::EnableMenuItem(UINT item, UINT enable) { return static_cast<UINT>(::EnableMenuItem(m_hMenu, item, enable)); }
UINT CMenu::GetMenuState(UINT item, UINT flags) const { return ::GetMenuState(m_hMenu, item, flags); }
int CMenu::GetMenuItemCount() const { return ::GetMenuItemCount(m_hMenu); }

namespace {
struct TemporaryMenu : CMenu {
    platform::afx::TemporaryTally tally;
};
}  // namespace

CMenu* CMenu::FromHandle(HMENU menu) {
    // A menu is alive while it answers for its items (a system menu goes with its window).
    thread_local std::map<HMENU, std::unique_ptr<TemporaryMenu>> temporaries;
    return platform::afx::temporaryWrapper(temporaries, menu, [](HMENU h) { return ::GetMenuItemCount(h) >= 0; }, [menu] {
        auto made = std::make_unique<TemporaryMenu>();
        made->m_hMenu = menu;
        return made;
    });
}
