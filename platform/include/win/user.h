// Declarations for platform/user (filled in by that library).
#pragma once

#include "types.h"
