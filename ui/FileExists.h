// The question asked when the target file already exists.
#pragma once

#include <windows.h>

constexpr int kFileExistsCancel = 0;
constexpr int kFileExistsOverwrite = 1;
constexpr int kFileExistsResume = 2;

// Runs template 103 or 104 modally without owner. kFileExistsCancel also for the close box,
// Escape, and when the question can't be shown.
int AskFileExists();
