#pragma once
// The one message-box function of the system. It takes the platform's style codes
// (buttons 0..5 plus icon 16/32/48/64) and returns the button pressed. Tests install a
// hook that answers instead, so that no test ever waits on a modal window.
#include "platform/PlatformExport.h"

#include <QString>
#include <functional>

constexpr int vbOKOnly = 0;
constexpr int vbOKCancel = 1;
constexpr int vbRetryCancel = 5;
constexpr int vbCritical = 16;
constexpr int vbExclamation = 48;
constexpr int vbInformation = 64;

constexpr int vbOK = 1;
constexpr int vbCancel = 2;
constexpr int vbAbort = 3;
constexpr int vbRetry = 4;
constexpr int vbIgnore = 5;
constexpr int vbYes = 6;
constexpr int vbNo = 7;

using MsgBoxHook = std::function<int(const QString& prompt, int style, const QString& title)>;

// An empty title shows the default title (the hook sees it too), or the application's
// name when none was set.
PLATFORM_EXPORT int msgBox(const QString& prompt, int style, const QString& title);
// Replaces the real box; an empty hook brings it back.
PLATFORM_EXPORT void setMsgBoxHook(MsgBoxHook hook);
// The title of every box whose caller gives none: the program's own title.
PLATFORM_EXPORT void setMsgBoxDefaultTitle(const QString& title);
