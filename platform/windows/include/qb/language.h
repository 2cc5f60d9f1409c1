// The language rule (qb/language.h), written against Win32 alone: the same header on Windows.
#pragma once

#include "../../../include/qb/language.h"
