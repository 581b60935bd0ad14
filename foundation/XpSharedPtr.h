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
    explicit _XpSharedCounter(T* object) : m_object(object) {}

    void ReleaseUse() override
    {
        if (m_useCount.fetch_sub(1) == 1) {
            delete m_object;
            m_object = nullptr;
            ReleaseWeak();
        }
    }

private:
    T* m_object;
};

}  // namespace XpSharedPtrDetail

template <class T>
class XpSharedPtr {
public:
    XpSharedPtr() = default;

    // Takes ownership of a new object; the counter is made for the object's own type.
    template <class U>
    explicit XpSharedPtr(U* object)
        : m_object(object), m_counter(object ? new XpSharedPtrDetail::_XpSharedCounter<U>(object) : nullptr)
    {
    }

    XpSharedPtr(const XpSharedPtr& other) : m_object(other.m_object), m_counter(other.m_counter)
    {
        if (m_counter) m_counter->AddUse();
    }

    template <class U>
    XpSharedPtr(const XpSharedPtr<U>& other) : m_object(other.m_object), m_counter(other.m_counter)
    {
        if (m_counter) m_counter->AddUse();
    }

    XpSharedPtr(XpSharedPtr&& other) noexcept
        : m_object(std::exchange(other.m_object, nullptr)), m_counter(std::exchange(other.m_counter, nullptr))
    {
    }

    ~XpSharedPtr() { Reset(); }

    XpSharedPtr& operator=(XpSharedPtr other) noexcept
    {
        std::swap(m_object, other.m_object);
        std::swap(m_counter, other.m_counter);
        return *this;
    }

    void Reset()
    {
        if (m_counter) m_counter->ReleaseUse();
        m_object = nullptr;
        m_counter = nullptr;
    }

    T* Get() const { return m_object; }
    T* operator->() const { return m_object; }
    T& operator*() const { return *m_object; }
    explicit operator bool() const { return m_object != nullptr; }
    int32_t GetUseCount() const { return m_counter ? m_counter->GetUseCount() : 0; }

private:
    template <class U>
    friend class XpSharedPtr;

    T* m_object = nullptr;
    XpSharedPtrDetail::_XpSharedCounterBase* m_counter = nullptr;
};
