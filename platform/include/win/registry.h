// Declarations for platform/registry (filled in by that library).
#pragma once

#include "types.h"
