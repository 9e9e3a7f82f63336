#pragma once
// Owning smart pointer for interface references (AddRef on copy, Release on drop).
#include "platform/com/Unknown.h"

#include <utility>

template <typename T> class ComPtr
{
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes over a reference the caller already holds.
    static ComPtr adopt(T* raw)
    {
        ComPtr p;
        p.m_raw = raw;
        return p;
    }
    // Shares a reference: AddRef.
    static ComPtr share(T* raw)
    {
        if (raw)
            raw->AddRef();
        return adopt(raw);
    }
    ComPtr(const ComPtr& other) : m_raw(other.m_raw)
    {
        if (m_raw)
            m_raw->AddRef();
    }
    ComPtr(ComPtr&& other) noexcept : m_raw(std::exchange(other.m_raw, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept
    {
        std::swap(m_raw, other.m_raw);
        return *this;
    }
    ~ComPtr() { reset(); }

    void reset()
    {
        if (m_raw)
            std::exchange(m_raw, nullptr)->Release();
    }
    T* get() const { return m_raw; }
    T* operator->() const { return m_raw; }
    T& operator*() const { return *m_raw; }
    explicit operator bool() const { return m_raw != nullptr; }
    // Hands the reference to the caller.
    T* detach() { return std::exchange(m_raw, nullptr); }
    // For out arguments: releases the held object and gives the slot.
    T** put()
    {
        reset();
        return &m_raw;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }

    // QueryInterface to another interface; empty when the object has none.
    template <typename U> ComPtr<U> as() const
    {
        ComPtr<U> other;
        if (m_raw)
            m_raw->QueryInterface(U::iid, other.putVoid());
        return other;
    }

private:
    T* m_raw = nullptr;
};
