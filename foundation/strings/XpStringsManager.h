#pragma once
// XpStringsManager: the texts of one localized string file, held as its property-list
// tree and looked up by key path ("US/Button/Cancel"). A path that ends at a dictionary
// stands for that dictionary's "Name" text. A text may refer to another entry: "::/path"
// to a key path from the root, "::key" to a key of the same section (the dictionary that
// holds the referring entry), whose entry "Other" answers for a key that is missing or
// not a text. Chains of references end after kMaxReferences steps with an empty text,
// so a loop cannot hang a lookup.

#include "foundation/text/XpString.h"

class XpIniDict;

class XpStringsManager {
public:
    static constexpr int kMaxReferences = 32;

    // Takes the root dictionary; the manager deletes it at the end when it was made
    // stand-alone (CreateRootDict).
    explicit XpStringsManager(XpIniDict* root);
    virtual ~XpStringsManager();
    XpStringsManager(const XpStringsManager&) = delete;
    XpStringsManager& operator=(const XpStringsManager&) = delete;

    // The text at the key path, references followed; empty when there is none.
    XpString GetString(const XpChar* keyPath) const;
    // The text of the key in the section, with the "Other" fallback, references followed.
    XpString GetStringInSection(const XpChar* section, const XpChar* key) const;
    // As GetString, but the text as the tree holds it (every answer is a text of the
    // tree); null when there is none. Valid while the tree is not changed.
    const XpString* FindText(const XpChar* keyPath) const;

    XpIniDict* GetRoot() const { return m_pRoot; }

private:
    const XpString* Lookup(const XpChar* keyPath, int references) const;
    const XpString* LookupInSection(const XpChar* section, const XpChar* key, int references) const;

    XpIniDict* m_pRoot;
};
