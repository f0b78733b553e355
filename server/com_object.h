#pragma once

// The wrappers that complete a class into a COM object (plain, aggregated,
// contained part of an aggregate, cached class object) and the creators that
// build them. A class supplies its interface table (LUMBO_BEGIN_COM_MAP) and
// derives from CComObjectRootEx; the wrapper supplies IUnknown.

#include <new>

#include "server/com_object_root.h"
#include "server/frame_module.h"

namespace lumbo {

// The normal, non-aggregated instance.
template <class Base>
class CComObject : public Base {
public:
    CComObject() { _pAtlModule->ModuleLock(); }
    virtual ~CComObject() {
        this->m_dwRef = kDestructionValue;
        this->FinalRelease();
        _pAtlModule->ModuleUnlock();
    }
    CComObject(const CComObject&) = delete;
    CComObject& operator=(const CComObject&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        return this->_InternalQueryInterface(iid, out);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return this->InternalAddRef(); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG remaining = this->InternalRelease();
        if (remaining == 0) delete this;
        return static_cast<ULONG>(remaining);
    }
    // Gives back the reference held during final construction, without
    // destroying the object at zero.
    void DropConstructionReference() { this->InternalRelease(); }
};

// The class part of an aggregated instance: every IUnknown call on any of its
// interfaces goes to the outer unknown.
template <class Base>
class CComContainedObject : public Base {
public:
    explicit CComContainedObject(IUnknown* outer) { this->m_pOuterUnknown = outer; }
    CComContainedObject(const CComContainedObject&) = delete;
    CComContainedObject& operator=(const CComContainedObject&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        return this->OuterQueryInterface(iid, out);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return this->OuterAddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return this->OuterRelease(); }
};

// An aggregated instance: its own non-delegating IUnknown and count, around
// the contained part that holds the outer unknown.
template <class Base>
class CComAggObject : public IUnknown {
public:
    explicit CComAggObject(IUnknown* outer) : m_contained(outer) { _pAtlModule->ModuleLock(); }
    virtual ~CComAggObject() {
        m_dwRef = kDestructionValue;
        m_contained.FinalRelease();
        _pAtlModule->ModuleUnlock();
    }
    CComAggObject(const CComAggObject&) = delete;
    CComAggObject& operator=(const CComAggObject&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (InlineIsEqualGUID(iid, IID_IUnknown)) {
            *out = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        return m_contained._InternalQueryInterface(iid, out);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++m_dwRef); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG remaining = --m_dwRef;
        if (remaining == 0) delete this;
        return static_cast<ULONG>(remaining);
    }

    CComContainedObject<Base>& ContainedPart() { return m_contained; }
    void DropConstructionReference() { --m_dwRef; }

private:
    LONG m_dwRef = 0;
    CComContainedObject<Base> m_contained;
};

// A class object kept by the class-object table: the table's own reference
// does not lock the module, every further one does.
template <class Base>
class CComObjectCached : public Base {
public:
    CComObjectCached() = default;
    virtual ~CComObjectCached() {
        this->m_dwRef = kDestructionValue;
        this->FinalRelease();
    }
    CComObjectCached(const CComObjectCached&) = delete;
    CComObjectCached& operator=(const CComObjectCached&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        return this->_InternalQueryInterface(iid, out);
    }
    STDMETHODIMP_(ULONG) AddRef() override {
        const LONG count = this->InternalAddRef();
        if (count == 2) _pAtlModule->ModuleLock();
        return static_cast<ULONG>(count);
    }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG count = this->InternalRelease();
        if (count == 0) {
            delete this;
        } else if (count == 1) {
            _pAtlModule->ModuleUnlock();
        }
        return static_cast<ULONG>(count);
    }
};

// The shape of every creator in the class-object table: (outer unknown or
// creator argument, IID, out-pointer).
using CreatorFunction = HRESULT(WINAPI*)(void* argument, REFIID iid, void** out);

// Runs a class's final construction with the count raised by one, so that a
// reference taken and dropped inside it cannot destroy the object; then hands
// out the requested interface. On failure the object is destroyed (which
// unlocks the module again).
template <class Object, class Part>
HRESULT CompleteCreation(Object* object, Part& part, IUnknown* identity, REFIID iid, void** out) {
    HRESULT result = S_OK;
    try {
        identity->AddRef();
        result = part.FinalConstruct();
        object->DropConstructionReference();
    } catch (...) {
        result = E_OUTOFMEMORY;
    }
    if (SUCCEEDED(result)) result = identity->QueryInterface(iid, out);
    if (FAILED(result)) delete object;
    return result;
}

// Builds one instance of T, plain or (with an outer unknown) aggregated. Any
// exception while building it counts as running out of memory.
template <class T>
HRESULT WINAPI CreateClassInstance(void* outer, REFIID iid, void** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (outer == nullptr) {
        CComObject<T>* object = nullptr;
        try {
            object = new CComObject<T>();
        } catch (...) {
            return E_OUTOFMEMORY;
        }
        return CompleteCreation(object, *object, object->GetUnknown(), iid, out);
    }
    CComAggObject<T>* object = nullptr;
    try {
        object = new CComAggObject<T>(static_cast<IUnknown*>(outer));
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    return CompleteCreation(object, object->ContainedPart(), static_cast<IUnknown*>(object), iid, out);
}

// The class-object side of a creatable class: its CLSID and instance creator
// as the class-object table wants them.
template <class T, const CLSID* Clsid>
class CComCoClass {
public:
    static const CLSID& WINAPI GetObjectCLSID() { return *Clsid; }
    static HRESULT WINAPI CreateInstance(void* outer, REFIID iid, void** out) {
        return CreateClassInstance<T>(outer, iid, out);
    }
    static const wchar_t* WINAPI GetObjectDescription() { return nullptr; }
    static const void* WINAPI GetCategoryMap() { return nullptr; }
    static void WINAPI ObjectMainFor(bool starting) { T::ObjectMain(starting); }
};

}  // namespace lumbo
