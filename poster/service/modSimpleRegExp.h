#pragma once
// modSimpleRegExp: one regular expression over one text in a single call, on one
// shared "VBScript.RegExp" object.
#include "platform/regexp/RegExp.h"

// Sets Global, IgnoreCase, MultiLine and Pattern (in that order) and runs Execute.
// With raiseErrors false every error gives an empty pointer instead of a raised error.
ComPtr<IMatchCollection> RegExpExecute(const QString& text, const QString& pattern, bool global,
                                       bool ignoreCase, bool multiLine, bool RaiseErrors);
