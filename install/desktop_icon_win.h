// Where the client's icon lies on the desktop (for the splash).
#pragma once
#include <windows.h>

// Finds the desktop item labelled "Lumendor" (any letter case) and returns
// its icon rectangle without the label lines. layout64: the desktop's list
// view runs in a 64-bit process (the client under WOW64).
bool FindDesktopIconRect(RECT* output, bool layout64);
