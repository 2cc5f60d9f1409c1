// Declarations for the resource part of platform/user (filled in by that library).
#pragma once

#include "types.h"
