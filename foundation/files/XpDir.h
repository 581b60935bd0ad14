#pragma once
// XpAbstractDir and XpDir: a directory of the file-system object family, and the
// enumeration of its entries. An enumeration hands out each entry as a new XpDir or
// XpFile held by an XpSharedPtr; "." and ".." never appear.

#include <cstdint>

#include "foundation/XpSharedPtr.h"
#include "foundation/files/XpFSObj.h"
#include "platform/PlatformFiles.h"

// Enumeration flags.
namespace XpDirFlag {
inline constexpr uint32_t Directories = 0x1;
inline constexpr uint32_t Files = 0x2;
// How the pattern selects names; without any of these every entry is listed.
inline constexpr uint32_t PatternAsGiven = 0x100;  // may hold the wildcards * and ?
inline constexpr uint32_t BeginsWith = 0x200;
inline constexpr uint32_t EndsWith = 0x400;
inline constexpr uint32_t Contains = 0x800;
}  // namespace XpDirFlag

class XpAbstractDir : public XpAbstractFSObj {
public:
    XpAbstractDir() = default;
    ~XpAbstractDir() override;

    bool IsFile() const override { return false; }
    bool IsDirectory() const override { return true; }

    // Starts an enumeration (ending any earlier one). flags: XpDirFlag. 0 even when no
    // entry is accepted; XpRc::BadRoot for an empty or drive-relative path ("Q:").
    virtual XpResult FindFirst(uint32_t flags, const XpChar* pattern) = 0;
    // The next accepted entry; empty at the end.
    virtual XpSharedPtr<XpAbstractFSObj> FindNext() = 0;
    virtual XpResult FindClose() = 0;
    // Entries directly inside, plus (recursive) those of every sub-directory.
    virtual uint64_t CountEntries(bool recursive) const = 0;
    // False also when the directory cannot be listed.
    virtual bool IsEmpty() const = 0;
    // Whether the enumeration's flags let an entry of this kind through.
    virtual bool Accept(bool isDirectory, const XpChar* name) const;
    // Takes the other's path (no enumeration is copied).
    virtual void Assign(const XpAbstractDir& other) = 0;
    // Bytes of the volume: in all, in use, and available to the caller; -1 on failure.
    virtual int64_t GetTotalSpace() const = 0;
    virtual int64_t GetUsedSpace() const = 0;
    virtual int64_t GetFreeSpace() const = 0;
    // The size rounded up to whole allocation units of the volume.
    virtual int64_t GetSizeOnDisk(int64_t size) = 0;

protected:
    uint32_t m_flags = XpDirFlag::Directories | XpDirFlag::Files;
    XpString m_pattern;
};

class XpDir : public XpAbstractDir {
public:
    XpDir() = default;
    explicit XpDir(const XpChar* path);
    explicit XpDir(const XpString& path);
    ~XpDir() override;

    XpString GetTitle() const override;
    // The size of every file at any depth below; symbolic links and junctions are not
    // followed. -1 when the directory cannot be listed.
    int64_t GetSize() const override;
    XpResult GetTimes(XpDateTime* creation, XpDateTime* modification, XpDateTime* access) const override;
    bool IsReadOnly() const override;
    bool IsHidden() const override;

    XpResult FindFirst(uint32_t flags, const XpChar* pattern) override;
    XpSharedPtr<XpAbstractFSObj> FindNext() override;
    XpResult FindClose() override;
    // A symbolic link or junction counts as one entry; it is not followed.
    uint64_t CountEntries(bool recursive) const override;
    bool IsEmpty() const override;
    // Takes the other's path and, from another XpDir, its cached allocation unit. Ends
    // this object's own enumeration first.
    void Assign(const XpAbstractDir& other) override;
    int64_t GetTotalSpace() const override;
    int64_t GetUsedSpace() const override;
    int64_t GetFreeSpace() const override;
    int64_t GetSizeOnDisk(int64_t size) override;

    // FindNext that also tells the entry's attributes (XpFileAttr), so that walks over a
    // tree can leave symbolic links and junctions alone.
    XpSharedPtr<XpAbstractFSObj> FindNextEntry(uint32_t* attributes);

private:
    bool IsRunning() const { return m_find != kXpInvalidFindHandle; }
    // Moves on while the current entry is "." or ".." or not accepted.
    void SkipUnwanted();
    void Advance();

    XpFindHandle m_find = kXpInvalidFindHandle;
    XpFindData m_findData{};
    bool m_end = true;
    uint32_t m_allocationUnit = 0;
};
