#include "poster/service/modSimpleRegExp.h"

#include "platform/com/ClassRegistry.h"
#include "platform/com/DispatchTable.h"

namespace {
// Created on first use and kept until the program ends.
ComPtr<IDispatch> SharedRegExp;

ComPtr<IMatchCollection> execute(const QString& text, const QString& pattern, bool global,
                                 bool ignoreCase, bool multiLine)
{
    if (!SharedRegExp)
        SharedRegExp = createObject<IDispatch>(QStringLiteral("VBScript.RegExp"));
    IDispatch* regExp = SharedRegExp.get();
    callByName(regExp, QStringLiteral("Global"), InvokeKind::PropertyPut, {global});
    callByName(regExp, QStringLiteral("IgnoreCase"), InvokeKind::PropertyPut, {ignoreCase});
    callByName(regExp, QStringLiteral("MultiLine"), InvokeKind::PropertyPut, {multiLine});
    callByName(regExp, QStringLiteral("Pattern"), InvokeKind::PropertyPut, {pattern});
    const QVariant result =
        callByName(regExp, QStringLiteral("Execute"), InvokeKind::Method, {text});
    auto matches = ComPtr<IUnknown>::adopt(result.value<IUnknown*>());
    return matches.as<IMatchCollection>();
}
} // namespace

ComPtr<IMatchCollection> RegExpExecute(const QString& text, const QString& pattern, bool global,
                                       bool ignoreCase, bool multiLine, bool RaiseErrors)
{
    if (RaiseErrors)
        return execute(text, pattern, global, ignoreCase, multiLine);
    try {
        return execute(text, pattern, global, ignoreCase, multiLine);
    } catch (const RuntimeError&) {
        return {};
    }
}
