#pragma once
// XpSharedPtr: the foundation's shared pointer, a pair of the object pointer and a
// counter object. The counter knows the object's real type, so an XpSharedPtr of a base
// class deletes the derived object it was made from.

#include <atomic>
#include <cstdint>
#include <utility>

namespace XpSharedPtrDetail {

class _XpSharedCounterBase {
public:
    _XpSharedCounterBase() = default;
    _XpSharedCounterBase(const _XpSharedCounterBase&) = delete;
    _XpSharedCounterBase& operator=(const _XpSharedCounterBase&) = delete;

    virtual ~_XpSharedCounterBase() = default;
    // Drops one use; the last use deletes the object, then drops the weak count.
    virtual void ReleaseUse() = 0;
    // Drops the weak count; at zero the counter deletes itself.
    virtual void ReleaseWeak()
    {
        if (m_weakCount.fetch_sub(1) == 1) delete this;
    }

    void AddUse() { m_useCount.fetch_add(1); }
    int32_t GetUseCount() const { return m_useCount.load(); }
    int32_t GetWeakCount() const { return m_weakCount.load(); }

protected:
    std::atomic<int32_t> m_useCount{1};
    std::atomic<int32_t> m_weakCount{1};
};

template <class T>
class _XpSharedCounter final : public _XpSharedCounterBase {
public:
    explicit _XpSharedCounter(T* object) : m_pObject(object) {}

    void ReleaseUse() override
    {
        if (m_useCount.fetch_sub(1) == 1) {
            delete m_pObject;
            m_pObject = nullptr;
            ReleaseWeak();
        }
    }

private:
    T* m_pObject;
};

}  // namespace XpSharedPtrDetail

template <class T>
class XpSharedPtr {
public:
    XpSharedPtr() = default;

    // Takes ownership of a new object; the counter is made for the object's own type.
    template <class U>
    explicit XpSharedPtr(U* object)
        : m_pObject(object), m_pCounter(object ? new XpSharedPtrDetail::_XpSharedCounter<U>(object) : nullptr)
    {
    }

    XpSharedPtr(const XpSharedPtr& other) : m_pObject(other.m_pObject), m_pCounter(other.m_pCounter)
    {
        if (m_pCounter) m_pCounter->AddUse();
    }

    template <class U>
    XpSharedPtr(const XpSharedPtr<U>& other) : m_pObject(other.m_pObject), m_pCounter(other.m_pCounter)
    {
        if (m_pCounter) m_pCounter->AddUse();
    }

    XpSharedPtr(XpSharedPtr&& other) noexcept
        : m_pObject(std::exchange(other.m_pObject, nullptr)), m_pCounter(std::exchange(other.m_pCounter, nullptr))
    {
    }

    ~XpSharedPtr() { Reset(); }

    XpSharedPtr& operator=(XpSharedPtr other) noexcept
    {
        std::swap(m_pObject, other.m_pObject);
        std::swap(m_pCounter, other.m_pCounter);
        return *this;
    }

    void Reset()
    {
        if (m_pCounter) m_pCounter->ReleaseUse();
        m_pObject = nullptr;
        m_pCounter = nullptr;
    }

    T* Get() const { return m_pObject; }
    T* operator->() const { return m_pObject; }
    T& operator*() const { return *m_pObject; }
    explicit operator bool() const { return m_pObject != nullptr; }
    int32_t GetUseCount() const { return m_pCounter ? m_pCounter->GetUseCount() : 0; }

private:
    template <class U>
    friend class XpSharedPtr;

    T* m_pObject = nullptr;
    XpSharedPtrDetail::_XpSharedCounterBase* m_pCounter = nullptr;
};
