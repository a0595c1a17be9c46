// The platform seam: every Windows operation the program calls, with the
// program's own types and constants. Nothing outside platform/win32/ sees
// <windows.h>.
#pragma once

#include "platform/WindowsConstants.h"
#include "platform/WindowsFunctions.h"
#include "platform/WindowsTypes.h"
