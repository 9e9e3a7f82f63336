#pragma once
// The scripting regular-expression object ("VBScript.RegExp") on QRegularExpression:
// properties Global, IgnoreCase, MultiLine and Pattern, and Execute(text), all used by
// name; "." does not match a line feed. Execute raises error 5017 for a bad pattern.
#include "platform/com/ComPtr.h"

struct IMatch : IUnknown
{
    static constexpr GUID iid = makeGuid("{3F4DACA0-160D-11D2-A8E9-00104B365C9F}");
    virtual QString Value() const = 0;
    virtual int FirstIndex() const = 0;
    virtual int Length() const = 0;
    // The text of each parenthesised group, from 0; an unmatched group is empty.
    virtual QStringList SubMatches() const = 0;
};

struct IMatchCollection : IUnknown
{
    static constexpr GUID iid = makeGuid("{3F4DACA1-160D-11D2-A8E9-00104B365C9F}");
    virtual int Count() const = 0;
    // index from 0; raises error 5 outside the collection.
    virtual ComPtr<IMatch> Item(int index) const = 0;
};

constexpr GUID CLSID_RegExp = makeGuid("{3F4DACA4-160D-11D2-A8E9-00104B365C9F}");
constexpr int ErrRegExpSyntax = 5017;

// Makes "VBScript.RegExp" creatable in this process.
PLATFORM_EXPORT void registerRegExpClass();
