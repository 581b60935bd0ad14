#pragma once
// XpFile: a file on disk. Unbuffered: every read or write is one call to the system.
// Closed after construction; Open makes it open, Close, SetPathAndClose and destruction
// close it. The operations that need the open file (Read, Write, Seek, SetLength) answer
// XpRc::NotOpen while it is closed; GetInfo works in both states.

#include <cstdint>

#include "foundation/XpSharedPtr.h"
#include "foundation/files/XpAbstractFile.h"
#include "platform/PlatformFiles.h"

class XpFile : public XpAbstractFile {
public:
    XpFile();
    explicit XpFile(const XpChar* path);
    explicit XpFile(const XpString& path);
    ~XpFile() override;

    // The path's title (the name without its extension).
    XpString GetTitle() const override;
    // -1 on failure.
    int64_t GetSize() const override;
    XpResult GetTimes(XpDateTime* creation, XpDateTime* modification, XpDateTime* access) const override;
    // On an open file the times are kept and written when the file is closed; on a
    // closed file they are written at once.
    XpResult SetTimes(const XpDateTime* creation, const XpDateTime* modification, const XpDateTime* access) override;
    bool IsReadOnly() const override;
    bool IsHidden() const override;
    // Works on a closed file too (through a query-only handle of its own).
    XpResult GetInfo(XpDateTime* creation, XpDateTime* modification, XpDateTime* access, int64_t* size) const override;

    // flags: XpFileFlag. Read and write creates a missing file and keeps an existing one;
    // read only needs an existing file; write only creates a missing file and empties
    // an existing one. With NoLinks a link in the file's place is refused; with MustBeNew
    // (write, alone or with read) the file is created and must not exist yet.
    // shareMode: XpFileOpen::ShareRead / ShareWrite / ShareDelete.
    XpResult Open(uint32_t flags, uint32_t shareMode) override;
    XpResult Close() override;
    // One read of the size asked (at most 0xFFFFFFFF bytes in one call); fewer bytes
    // than asked give XpRc::EndOfFile with the count of those read.
    XpResult Read(void* buffer, uint64_t size, uint64_t* count) override;
    // One write; a size above 0xFFFFFFFF writes that much and answers XpRc::EndOfFile
    // with the short count.
    XpResult Write(const void* buffer, uint64_t size, uint64_t* count) override;
    // Writes are unbuffered: nothing to do.
    XpResult Flush() override;
    XpResult Seek(int64_t offset, uint32_t origin) override;
    int64_t Tell() override;
    // Grows or cuts the file; the position stays where it was when that still lies
    // within the file, else it is the new end.
    XpResult SetLength(uint64_t length) override;

    // SetPathAndClose, then Open.
    virtual XpResult OpenPath(const XpChar* path, uint32_t flags, uint32_t shareMode);
    // Closes the file (result ignored), then sets the path.
    virtual XpResult SetPathAndClose(const XpChar* path);
    virtual XpString GetPathCopy() const;
    // Writes the given times (local dates; any may be null) to the file at the path.
    virtual XpResult ApplyTimes(const XpDateTime* creation, const XpDateTime* modification, const XpDateTime* access);
    // A file time (UTC) as a local date, to the second.
    virtual XpResult FileTimeToDateTime(const uint64_t* fileTime, XpDateTime* date) const;

    bool IsOpen() const { return m_file != kXpInvalidFileHandle; }

private:
    XpFileHandle m_file = kXpInvalidFileHandle;
    // Times set while the file was open, written at Close.
    XpSharedPtr<XpDateTime> m_pendingCreation;
    XpSharedPtr<XpDateTime> m_pendingModification;
    XpSharedPtr<XpDateTime> m_pendingAccess;
};
