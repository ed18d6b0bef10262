// Run-time classes and message maps.
#include "afx/afxwin.h"

BOOL CRuntimeClass::IsDerivedFrom(const CRuntimeClass* base) const {
    for (const CRuntimeClass* cls = this; cls; cls = cls->m_pfnGetBaseClass ? cls->m_pfnGetBaseClass() : nullptr)
        if (cls == base) return TRUE;
    return FALSE;
}

CRuntimeClass CObject::classCObject = {"CObject", static_cast<int>(sizeof(CObject)), 0xFFFF, nullptr};
CRuntimeClass* CObject::GetThisClass() { return &classCObject; }
CRuntimeClass* CObject::GetRuntimeClass() const { return &classCObject; }
BOOL CObject::IsKindOf(const CRuntimeClass* cls) const { return cls && GetRuntimeClass()->IsDerivedFrom(cls); }

IMPLEMENT_DYNAMIC(CCmdTarget, CObject)

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap() {
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, nullptr}};
    static const AFX_MSGMAP map = {nullptr, &entries[0]};
    return &map;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const { return GetThisMessageMap(); }

const AFX_MSGMAP_ENTRY* CCmdTarget::FindMessageEntry(UINT message, UINT code, UINT id) const {
    for (const AFX_MSGMAP* map = GetMessageMap(); map; map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
        for (const AFX_MSGMAP_ENTRY* e = map->lpEntries; e && e->pfn; ++e)
            if (e->nMessage == message && e->nCode == code && id >= e->nID && id <= e->nLastID) return e;
    }
    return nullptr;
}
