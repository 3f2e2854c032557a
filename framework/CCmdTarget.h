#pragma once
// Message maps: each window or application class lists the messages and commands it handles in
// one table; a lookup walks from the most derived class's table to its bases' tables.
#ifndef RC_INVOKED
#include <windows.h>

class CCmdTarget;

// Calls one handler on its object and gives the message result.
using messageHandler = LRESULT (*)(CCmdTarget& target, WPARAM wParam, LPARAM lParam);

struct messageMapEntry {
    UINT message; // WM_COMMAND for commands and control notifications
    UINT code;    // notification code of a WM_COMMAND; menu commands and BN_CLICKED are 0
    UINT firstId; // command or control id range of a WM_COMMAND
    UINT lastId;
    messageHandler handler; // null ends a table
};

struct messageMap {
    const messageMap* (*base)(); // the base class's table; null at the root
    const messageMapEntry* entries;
};

class CCmdTarget {
public:
    CCmdTarget() = default;
    CCmdTarget(const CCmdTarget&) = delete;
    CCmdTarget& operator=(const CCmdTarget&) = delete;
    virtual ~CCmdTarget() = default;

protected:
    virtual const messageMap* GetMessageMap() const;
    static const messageMap* GetThisMessageMap();

public:
    // Runs the handler of a command (a menu item, accelerator or control notification) when a
    // table lists one; non-zero when one ran.
    virtual BOOL OnCmdMsg(UINT id, int code);

    // The entry that handles a message (for WM_COMMAND: with that code and id); null if none.
    const messageMapEntry* findMessageEntry(UINT message, UINT code, UINT id) const;
};

// Adapters from a message's parameters to each handler signature.
namespace messageThunks {
template <class T, auto member> LRESULT noArguments(CCmdTarget& target, WPARAM, LPARAM) {
    (static_cast<T&>(target).*member)();
    return 0;
}
template <class T, auto member> LRESULT commandId(CCmdTarget& target, WPARAM wParam, LPARAM) {
    (static_cast<T&>(target).*member)(LOWORD(wParam));
    return 0;
}
template <class T, auto member>
LRESULT sysCommand(CCmdTarget& target, WPARAM wParam, LPARAM lParam) {
    (static_cast<T&>(target).*member)(static_cast<UINT>(wParam), lParam);
    return 0;
}
template <class T, auto member> LRESULT handleResult(CCmdTarget& target, WPARAM, LPARAM) {
    return reinterpret_cast<LRESULT>((static_cast<T&>(target).*member)());
}
} // namespace messageThunks

// clang-format off
#define DECLARE_MESSAGE_MAP()                                                                      \
protected:                                                                                         \
    static const messageMap* GetThisMessageMap();                                                  \
    const messageMap* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                                     \
    const messageMap* theClass::GetMessageMap() const { return GetThisMessageMap(); }              \
    const messageMap* theClass::GetThisMessageMap() {                                              \
        using thisClass [[maybe_unused]] = theClass;                                               \
        using thisBaseClass = baseClass;                                                           \
        static const messageMapEntry entries[] = {

#define END_MESSAGE_MAP()                                                                          \
            {0, 0, 0, 0, nullptr}};                                                                \
        static const messageMap map = {&thisBaseClass::GetThisMessageMap, entries};                \
        return &map;                                                                               \
    }
// clang-format on

// void handler()
#define ON_COMMAND(id, memberFxn)                                                                  \
    {WM_COMMAND, 0, (id), (id), &messageThunks::noArguments<thisClass, memberFxn>},
#define ON_BN_CLICKED(id, memberFxn)                                                               \
    {WM_COMMAND, BN_CLICKED, (id), (id), &messageThunks::noArguments<thisClass, memberFxn>},
// void handler(UINT id)
#define ON_COMMAND_RANGE(firstId, lastId, memberFxn)                                               \
    {WM_COMMAND, 0, (firstId), (lastId), &messageThunks::commandId<thisClass, memberFxn>},
// void OnSysCommand(UINT id, LPARAM lParam)
#define ON_WM_SYSCOMMAND()                                                                         \
    {WM_SYSCOMMAND, 0, 0, 0, &messageThunks::sysCommand<thisClass, &thisClass::OnSysCommand>},
// void OnPaint()
#define ON_WM_PAINT()                                                                              \
    {WM_PAINT, 0, 0, 0, &messageThunks::noArguments<thisClass, &thisClass::OnPaint>},
// HCURSOR OnQueryDragIcon()
#define ON_WM_QUERYDRAGICON()                                                                      \
    {WM_QUERYDRAGICON, 0, 0, 0,                                                                    \
     &messageThunks::handleResult<thisClass, &thisClass::OnQueryDragIcon>},

#endif
