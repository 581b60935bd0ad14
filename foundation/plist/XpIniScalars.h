#pragma once
// The scalar elements of a property list: one value each, read and replaced through the
// Get and Set operations of their type.

#include <cstdint>

#include "foundation/files/XpMemoryFile.h"
#include "foundation/plist/XpIniElement.h"
#include "foundation/time/XpDateTime.h"

class XpIniBool : public XpIniElement {
public:
    explicit XpIniBool(bool value = false) : m_bValue(value) {}
    uint32_t GetType() const override { return XpIniType::Bool; }
    XpResult GetBool(bool& value) const override;
    // Nonzero is true.
    virtual XpResult SetBool(int value);

private:
    bool m_bValue;
};

class XpIniInt : public XpIniElement {
public:
    explicit XpIniInt(int64_t value = 0) : m_nValue(value) {}
    uint32_t GetType() const override { return XpIniType::Int; }
    XpResult GetInt64(int64_t& value) const override;
    XpResult GetInt32(int32_t& value) const override;
    XpResult SetInt64(int64_t value) override;

private:
    int64_t m_nValue;
};

class XpIniReal : public XpIniElement {
public:
    uint32_t GetType() const override { return XpIniType::Real; }
    XpResult GetReal(double& value) const override;
    XpResult SetReal(double value) override;

private:
    double m_dValue = 0.0;
};

class XpIniString : public XpIniElement {
public:
    explicit XpIniString(const XpChar* text = nullptr) : m_strValue(text) {}
    uint32_t GetType() const override { return XpIniType::String; }
    XpResult GetString(XpString& text) const override;
    XpResult SetString(const XpChar* text) override;
    // The text itself, for readers that copy it without an out string of their own.
    const XpString& GetValue() const { return m_strValue; }

private:
    XpString m_strValue;
};

class XpIniMemChunk : public XpIniElement {
public:
    uint32_t GetType() const override { return XpIniType::MemChunk; }
    // Replaces the content of data with the element's bytes.
    XpResult GetData(XpMemoryFile& data) const override;
    // Stops at the first step that fails (seek, memory, read) with its code. The element
    // then holds the bytes actually read, in a block of their own size; a failed seek or
    // allocation leaves its bytes as they were. A copy that starts at the end of the
    // source holds no bytes and answers the source's end-of-file code.
    XpResult SetData(XpAbstractFile& source, int64_t offset, int64_t length) override;

    const void* GetBytes() const { return m_data.GetBuffer(); }
    uint64_t GetByteCount() const { return static_cast<uint64_t>(m_data.GetSize()); }

private:
    XpMemoryFile m_data;
};

class XpIniDate : public XpIniElement {
public:
    uint32_t GetType() const override { return XpIniType::Date; }
    XpResult GetDate(XpDateTime& date) const override;
    XpResult SetDate(const XpDateTime& date) override;

private:
    XpDateTime m_value;
};
