#pragma once
// NamedMutex: a named mutex asked for with initial ownership. The object holds it as its
// creator when m_hMutex is set and m_bCreated is true; a name that existed already, or a
// creation that failed, leaves m_hMutex null (m_bCreated false when the name existed).

#include <cstdint>

#include "foundation/text/XpString.h"

class NamedMutex {
public:
    explicit NamedMutex(const XpChar* name);
    ~NamedMutex();
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;

    bool HoldsAsCreator() const { return m_hMutex != 0 && m_bCreated; }
    // Closes the handle if one is held, and forgets it.
    void Close();

    // Whether the name exists now: someone holds it, or it cannot be looked at. Unlike
    // constructing an object of the name, this never creates or owns the mutex, so a
    // program that starts at that moment never finds its own mutex taken by the probe.
    static bool Exists(const XpChar* name);

    intptr_t m_hMutex = 0;
    bool m_bCreated = true;
    XpString m_strName;
};
