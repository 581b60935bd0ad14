#pragma once
// A fresh GUID in the registry's text form, "{8-4-4-4-12}" in upper-case hexadecimal
// digits; empty when the system could not make one.

#include "foundation/text/XpString.h"

XpString NewGuidString();
