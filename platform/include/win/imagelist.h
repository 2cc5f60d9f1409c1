// Declarations for the imagelist part of platform/user (filled in by that library).
#pragma once

#include "types.h"
