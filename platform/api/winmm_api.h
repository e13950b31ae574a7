// Our declaration of the multimedia timer the program uses.
#pragma once

#include "win32_api.h"

DWORD WINAPI timeGetTime(void);
