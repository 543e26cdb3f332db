// Message maps: a class's table of (message, notification, control id,
// handler), searched in the order written, then the base class's table.
#ifndef QUORVEX_DIALOG_FRAMEWORK_MESSAGE_MAP_H
#define QUORVEX_DIALOG_FRAMEWORK_MESSAGE_MAP_H

#include <windows.h>

#include <cstddef>

class CCmdTarget;

struct MessageMapEntry {
  UINT message;
  UINT code;  // WM_COMMAND only: the notification code (BN_CLICKED, 0 for a command)
  UINT id;    // WM_COMMAND only: the control or command id
  // Calls the handler on the target; returns the message's result.
  LRESULT (*call)(CCmdTarget& target, WPARAM wParam, LPARAM lParam);
};

struct MessageMap {
  const MessageMap* (*base)();  // null for the root of the hierarchy
  const MessageMapEntry* entries;
  std::size_t count;
};

// In a class declaration. The table is built inside a static member function,
// so that its entries may name protected handlers.
#define DECLARE_MESSAGE_MAP()                       \
 protected:                                         \
  static const MessageMap* GetThisMessageMap();     \
  const MessageMap* GetMessageMap() const override; \
                                                    \
 private:

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                      \
  const MessageMap* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
  const MessageMap* theClass::GetThisMessageMap() {                                 \
    using ThisClass [[maybe_unused]] = theClass;                                    \
    using TheBaseClass = baseClass;                                                 \
    static const MessageMapEntry entries[] = {
#define END_MESSAGE_MAP()                                                   \
  { 0, 0, 0, nullptr }                                                      \
  }                                                                         \
  ;                                                                         \
  static const MessageMap map = {&TheBaseClass::GetThisMessageMap, entries, \
                                 sizeof(entries) / sizeof(entries[0]) - 1}; \
  return &map;                                                              \
  }

#define QFX_TARGET(t) static_cast<ThisClass&>(t)

#define ON_COMMAND(id, memberFxn)                                      \
  {WM_COMMAND, 0, (id), [](CCmdTarget& t, WPARAM, LPARAM) -> LRESULT { \
     (QFX_TARGET(t).*(memberFxn))();                                   \
     return 0;                                                         \
   }},

#define ON_BN_CLICKED(id, memberFxn)                                            \
  {WM_COMMAND, BN_CLICKED, (id), [](CCmdTarget& t, WPARAM, LPARAM) -> LRESULT { \
     (QFX_TARGET(t).*(memberFxn))();                                            \
     return 0;                                                                  \
   }},

#define ON_WM_INITDIALOG() \
  {WM_INITDIALOG, 0, 0,    \
   [](CCmdTarget& t, WPARAM, LPARAM) -> LRESULT { return QFX_TARGET(t).HandleInitDialog(); }},

#define ON_WM_SYSCOMMAND()                                                 \
  {WM_SYSCOMMAND, 0, 0, [](CCmdTarget& t, WPARAM w, LPARAM l) -> LRESULT { \
     QFX_TARGET(t).OnSysCommand(static_cast<UINT>(w), l);                  \
     return 0;                                                             \
   }},

#define ON_WM_PAINT()                                             \
  {WM_PAINT, 0, 0, [](CCmdTarget& t, WPARAM, LPARAM) -> LRESULT { \
     QFX_TARGET(t).OnPaint();                                     \
     return 0;                                                    \
   }},

#define ON_WM_QUERYDRAGICON()                                             \
  {WM_QUERYDRAGICON, 0, 0, [](CCmdTarget& t, WPARAM, LPARAM) -> LRESULT { \
     return reinterpret_cast<LRESULT>(QFX_TARGET(t).OnQueryDragIcon());   \
   }},

#endif
