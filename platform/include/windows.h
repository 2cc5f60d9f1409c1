// The subset of the Win32 API that Quillbrook is written against, implemented on POSIX by
// platform/. On Windows this header would be the system's own.
#pragma once

// The order matters: each part builds on the ones before it.
// clang-format off
#include "win/types.h"
#include "win/errors.h"
#include "win/kernel.h"
#include "win/nls.h"
#include "win/registry.h"
#include "win/user.h"
#include "win/resource.h"
// clang-format on
