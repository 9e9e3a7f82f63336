#pragma once
// The handful of component-model types the system talks in: status codes,
// 16-bit Booleans and GUIDs parsed from their brace texts at compile time.
#include "platform/PlatformExport.h"

#include <QString>
#include <cstdint>

using HRESULT = std::int32_t;
using ULONG = std::uint32_t;
using VARIANT_BOOL = std::int16_t;

constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111u);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
constexpr HRESULT DISP_E_MEMBERNOTFOUND = static_cast<HRESULT>(0x80020003u);
constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005u);
constexpr HRESULT DISP_E_EXCEPTION = static_cast<HRESULT>(0x80020009u);

constexpr bool SUCCEEDED(HRESULT hr)
{
    return hr >= 0;
}
constexpr bool FAILED(HRESULT hr)
{
    return hr < 0;
}

constexpr VARIANT_BOOL toVariantBool(bool value)
{
    return value ? VARIANT_TRUE : VARIANT_FALSE;
}

// Hands a property's value to the caller's out argument: E_POINTER when there is none.
template <typename T> HRESULT give(const T& source, T* value)
{
    if (!value)
        return E_POINTER;
    *value = source;
    return S_OK;
}

struct GUID
{
    std::uint32_t Data1 = 0;
    std::uint16_t Data2 = 0;
    std::uint16_t Data3 = 0;
    std::uint8_t Data4[8] = {};

    constexpr bool operator==(const GUID&) const = default;
};

namespace guid_detail {
constexpr unsigned hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return static_cast<unsigned>(c - '0');
    if (c >= 'a' && c <= 'f')
        return static_cast<unsigned>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F')
        return static_cast<unsigned>(c - 'A' + 10);
    throw "not a hexadecimal digit"; // only reachable at compile time
}
constexpr std::uint64_t hexField(const char* text, int first, int count)
{
    std::uint64_t value = 0;
    for (int i = 0; i < count; ++i)
        value = value * 16 + hexValue(text[first + i]);
    return value;
}
} // namespace guid_detail

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (38 characters) to a GUID.
consteval GUID makeGuid(const char (&text)[39])
{
    using guid_detail::hexField;
    if (text[0] != '{' || text[37] != '}' || text[9] != '-' || text[14] != '-' || text[19] != '-' ||
        text[24] != '-')
        throw "GUID text must be in braces";
    GUID g;
    g.Data1 = static_cast<std::uint32_t>(hexField(text, 1, 8));
    g.Data2 = static_cast<std::uint16_t>(hexField(text, 10, 4));
    g.Data3 = static_cast<std::uint16_t>(hexField(text, 15, 4));
    g.Data4[0] = static_cast<std::uint8_t>(hexField(text, 20, 2));
    g.Data4[1] = static_cast<std::uint8_t>(hexField(text, 22, 2));
    for (int i = 0; i < 6; ++i)
        g.Data4[2 + i] = static_cast<std::uint8_t>(hexField(text, 25 + 2 * i, 2));
    return g;
}

// Upper-case brace text of a GUID, as the registry writes it.
PLATFORM_EXPORT QString guidToString(const GUID& guid);
// Parses a brace text at run time; false when it is not one.
PLATFORM_EXPORT bool guidFromString(const QString& text, GUID* guid);
// A new random GUID.
PLATFORM_EXPORT GUID newGuid();
