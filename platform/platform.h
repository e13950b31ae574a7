// The one include that gives the program its operating-system and graphics API:
// the system headers on Windows, our own declarations of the same subset elsewhere.
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <mmsystem.h>
#include <d3d9.h>
#include <d3dx9.h>
#else
#include "api/win32_api.h"
#include "api/d3d9_api.h"
#include "api/d3dx9_api.h"
#include "api/winmm_api.h"
#endif
