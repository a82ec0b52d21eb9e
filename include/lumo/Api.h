// The API object convention shared by the host and every plug-in module.
//
// An API is a class of pure virtual functions whose first two slots are AddRef and Release;
// its operations follow in a fixed order implied by its type identifier. Raw API pointers
// returned by entry points and operations carry one reference for the receiver.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define LUMO_CALL __stdcall
#else
#define LUMO_CALL
#endif

#if defined(_WIN32)
#define LUMO_EXPORT __declspec(dllexport)
#else
#define LUMO_EXPORT __attribute__((visibility("default")))
#endif

namespace LumoApi {

// Longest type identifier, in characters.
constexpr size_t c_MaxTypeIdSize = 100;
// Longest path handed across the boundary, including the terminating NUL.
constexpr size_t c_MaxPath = 260;

// Base of every API. Callers never delete an API: they Release it.
class Api {
public:
    // Adds one reference. Any thread.
    virtual void LUMO_CALL AddRef() = 0;
    // Removes one reference; the object may be destroyed. Any thread.
    virtual void LUMO_CALL Release() = 0;

protected:
    Api() = default;
    ~Api() = default;
    Api(const Api&) = default;
    Api& operator=(const Api&) = default;
};

// Reference counting for API objects that live on the heap. A new object has count 1, the
// creator's reference; the last Release destroys it through the virtual destructor, whose
// slot follows the API's own operations.
template <class T>
class RefCounted : public T {
public:
    RefCounted(const RefCounted&) = delete;
    RefCounted& operator=(const RefCounted&) = delete;

    void LUMO_CALL AddRef() override { __atomic_add_fetch(&m_refCount, 1, __ATOMIC_RELAXED); }

    void LUMO_CALL Release() override
    {
        if (__atomic_sub_fetch(&m_refCount, 1, __ATOMIC_ACQ_REL) < 1)
            delete this;
    }

    virtual ~RefCounted() = default;

protected:
    RefCounted() = default;

private:
    int32_t m_refCount = 1;
};

// For API objects whose lifetime is managed elsewhere (the host, the manager, static
// module records): AddRef and Release do nothing.
template <class T>
class RefNeutral : public T {
public:
    void LUMO_CALL AddRef() override { }
    void LUMO_CALL Release() override { }

protected:
    RefNeutral() = default;
    ~RefNeutral() = default;
};

// Owning pointer to an API. Built from a raw pointer it adopts the reference the pointer
// carries; copying adds one. Prefer the named factories so the call site says which.
template <class T>
class ApiRef {
public:
    ApiRef() noexcept = default;
    ApiRef(decltype(nullptr)) noexcept { }
    // Adopts: no AddRef.
    explicit ApiRef(T* raw) noexcept : m_ptr(raw) { }
    ApiRef(const ApiRef& other) noexcept : m_ptr(other.m_ptr)
    {
        if (m_ptr)
            m_ptr->AddRef();
    }
    ApiRef(ApiRef&& other) noexcept : m_ptr(other.m_ptr) { other.m_ptr = nullptr; }
    template <class U>
    ApiRef(const ApiRef<U>& other) noexcept : m_ptr(other.Get())
    {
        if (m_ptr)
            m_ptr->AddRef();
    }
    ~ApiRef()
    {
        if (m_ptr)
            m_ptr->Release();
    }

    ApiRef& operator=(const ApiRef& other) noexcept
    {
        if (this != &other)
            Reset(other.NewRef());
        return *this;
    }
    ApiRef& operator=(ApiRef&& other) noexcept
    {
        if (this != &other)
            Reset(other.Detach());
        return *this;
    }

    // Takes over the reference a raw pointer carries.
    static ApiRef Adopt(T* raw) noexcept { return ApiRef(raw); }
    // Adds a reference of its own to a borrowed pointer.
    static ApiRef Share(T* raw) noexcept
    {
        if (raw)
            raw->AddRef();
        return ApiRef(raw);
    }

    T* Get() const noexcept { return m_ptr; }
    T* operator->() const noexcept { return m_ptr; }
    T& operator*() const noexcept { return *m_ptr; }
    explicit operator bool() const noexcept { return m_ptr != nullptr; }

    // A new raw reference for a receiver that will release it.
    T* NewRef() const noexcept
    {
        if (m_ptr)
            m_ptr->AddRef();
        return m_ptr;
    }
    // Hands the held reference to the caller; this becomes null.
    T* Detach() noexcept
    {
        T* raw = m_ptr;
        m_ptr = nullptr;
        return raw;
    }
    // Adopts raw (may be null), releasing what was held.
    void Reset(T* raw = nullptr) noexcept
    {
        T* old = m_ptr;
        m_ptr = raw;
        if (old)
            old->Release();
    }

    friend bool operator==(const ApiRef& a, const ApiRef& b) noexcept { return a.m_ptr == b.m_ptr; }

private:
    T* m_ptr = nullptr;
};

static_assert(sizeof(ApiRef<Api>) == sizeof(void*), "ApiRef is one pointer wide");

// The entry point every plug-in library exports:
//   extern "C" LUMO_EXPORT LumoApi::Api* LUMO_CALL Lumo_GetApi(const char* type_id);
// It answers a new reference for the caller, or null when the library offers no such type.
using GetApiFunction = Api*(LUMO_CALL*)(const char* type_id);

// Name of the entry point, for dlsym.
constexpr const char c_GetApiSymbol[] = "Lumo_GetApi";

} // namespace LumoApi
