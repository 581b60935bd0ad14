#pragma once
// XpAbstractFSObj: the root of the file-system object family. A file-system object
// knows its path and answers its title, size, times and attributes; the files
// (XpAbstractFile and below) and the directories (XpAbstractDir and below) fill in how.
//
// The virtual operations are declared in their slot order; derived classes add theirs
// after these. The three times are always passed in the order creation, modification
// (last write), last access, and any of them may be null.

#include <cstdint>

#include "foundation/XpResult.h"
#include "foundation/text/XpString.h"
#include "foundation/time/XpDateTime.h"
#include "platform/XpChar.h"

class XpAbstractFSObj {
public:
    XpAbstractFSObj() = default;
    XpAbstractFSObj(const XpAbstractFSObj&) = delete;
    XpAbstractFSObj& operator=(const XpAbstractFSObj&) = delete;

    virtual ~XpAbstractFSObj();
    // Stores the path (null is taken as an empty path); 0.
    virtual XpResult SetPath(const XpChar* path);
    virtual XpString GetPath() const;
    virtual XpString GetTitle() const = 0;
    // Bytes of content; -1 when they cannot be learned.
    virtual int64_t GetSize() const = 0;
    virtual XpResult GetTimes(XpDateTime* creation, XpDateTime* modification, XpDateTime* access) const = 0;
    // One time each; an invalid date when the times cannot be read.
    virtual XpDateTime GetCreationTime() const;
    virtual XpDateTime GetModificationTime() const;
    virtual XpDateTime GetAccessTime() const;
    // Objects that cannot change their times answer XpRc::NotSupportedByKind.
    virtual XpResult SetTimes(const XpDateTime* creation, const XpDateTime* modification, const XpDateTime* access);
    virtual bool IsReadOnly() const = 0;
    virtual bool IsHidden() const = 0;
    // The times (when any is wanted) and then the size (when wanted and the times could
    // be read). Any out may be null.
    virtual XpResult GetInfo(XpDateTime* creation, XpDateTime* modification, XpDateTime* access, int64_t* size) const;
    virtual bool IsFile() const = 0;
    virtual bool IsDirectory() const = 0;

protected:
    XpString m_path;
};
