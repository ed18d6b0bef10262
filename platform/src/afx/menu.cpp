// Menus: the system menus of windows.
#include <map>
#include <memory>

#include "state.h"

IMPLEMENT_DYNAMIC(CMenu, CObject)

UINT CMenu::EnableMenuItem(UINT item, UINT enable) { return static_cast<UINT>(::EnableMenuItem(m_hMenu, item, enable)); }
UINT CMenu::GetMenuState(UINT item, UINT flags) const { return ::GetMenuState(m_hMenu, item, flags); }
int CMenu::GetMenuItemCount() const { return ::GetMenuItemCount(m_hMenu); }

CMenu* CMenu::FromHandle(HMENU menu) {
    thread_local std::map<HMENU, std::unique_ptr<CMenu>> temporaries;
    if (!menu) return nullptr;
    auto& slot = temporaries[menu];
    if (!slot) {
        slot = std::make_unique<CMenu>();
        slot->m_hMenu = menu;
    }
    return slot.get();
}
