// Byte copy and fill over caller buffers. 1; -1 a null pointer.
#pragma once

#include <windows.h>

// Copies count bytes; the areas may overlap.
int BytesCopy(void* destination, const void* source, DWORD count);
int BytesFill(void* destination, BYTE value, DWORD count);
