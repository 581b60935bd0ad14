#pragma once
// The language code that the update check sends: a two-letter code for the Windows locale
// identifier of the installed product or, failing that, of the user.

#include <cstdint>
#include <initializer_list>

#include "foundation/text/XpString.h"
#include "platform/XpChar.h"

// The code for a locale identifier written as decimal text ("1041" gives "JP"). Only the
// exact text is in the table: "0x411" or "01041" are not. Empty when not in the table.
XpString LookupLanguageCode(const XpChar* localeId);
// The same for a number, written with "%u" first.
XpString LookupLanguageCode(uint32_t localeId);

// The code from what the machine tells, the first that the table knows: the installed
// language of Vimbly, then of Tessaro (each null when its value does not read), then the
// user's locale identifiers in the order given (the user's default locale, user-interface
// language and language), else "US". An identifier that carries a sort order is not in
// the table and gives way to the next.
XpString ChooseLanguageCode(const XpChar* vimblyLanguage, const XpChar* tessaroLanguage,
                            std::initializer_list<uint32_t> userLocales);
