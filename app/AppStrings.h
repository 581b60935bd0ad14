#pragma once
// The localized texts of the program, behind one narrow seam: load the string files, look
// a key path up ("US/Button/Cancel"), release them. The program's own source is the
// foundation's strings manager; the tests give the application a source of their own.

#include <vector>

#include "foundation/XpResult.h"
#include "foundation/text/XpString.h"

class AppStrings {
public:
    virtual ~AppStrings() = default;
    // 0 when the files loaded; another code otherwise (0x8000 when loaded already).
    virtual XpResult Load(const std::vector<XpString>& paths) = 0;
    // The first non-empty text for the key path; empty when there is none.
    virtual XpString Get(const XpChar* keyPath) = 0;
    virtual void Release() = 0;
};

// The program's source: the strings manager over the files given to Load. A build that
// does not carry the strings manager yet loads nothing and fails every load, so the
// program shows its fixed start-up message instead of a dialog without texts.
AppStrings& ProgramStrings();
