#include "framework/CCmdTarget.h"

namespace {
bool matches(const messageMapEntry& entry, UINT message, UINT code, UINT id) {
    if (entry.message != message)
        return false;
    if (message != WM_COMMAND)
        return true;
    return entry.code == code && id >= entry.firstId && id <= entry.lastId;
}
} // namespace

const messageMap* CCmdTarget::GetMessageMap() const {
    return GetThisMessageMap();
}

const messageMap* CCmdTarget::GetThisMessageMap() {
    static const messageMapEntry entries[] = {{0, 0, 0, 0, nullptr}};
    static const messageMap map = {nullptr, entries};
    return &map;
}

const messageMapEntry* CCmdTarget::findMessageEntry(UINT message, UINT code, UINT id) const {
    for (const messageMap* map = GetMessageMap(); map != nullptr;
         map = map->base != nullptr ? map->base() : nullptr) {
        for (const messageMapEntry* entry = map->entries; entry->handler != nullptr; ++entry) {
            if (matches(*entry, message, code, id))
                return entry;
        }
    }
    return nullptr;
}

BOOL CCmdTarget::OnCmdMsg(UINT id, int code) {
    const messageMapEntry* entry = findMessageEntry(WM_COMMAND, static_cast<UINT>(code), id);
    if (entry == nullptr)
        return FALSE;
    entry->handler(*this, MAKEWPARAM(id, code), 0);
    return TRUE;
}
