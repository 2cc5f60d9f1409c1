// Reading the run parameters from the run-parameter list into the process-wide state.
//
// Text parameters ("URL", "Path", "Caption") are percent-decoded: the escapes are bytes, read
// as UTF-8, or in the ANSI code page when they are not UTF-8; integer parameters
// ("ShowWindow", "Resume", "Retry") are decimal, unsigned or with a sign. A key stored
// without a value counts as absent. Every parameter present selects automatic mode, even an
// integer that is not a number, which keeps its default.
#pragma once

#include <windows.h>

class PropertyList;

constexpr DWORD kDecodedValueCapacity = 4096; // units, terminator included

// Puts the run parameters of the state back to their defaults and automatic mode off.
void ResetRunParameters();
// Applies the parameters found in the list to the state.
void ReadRunParameters(PropertyList* parameters);
