// The noise texture's content: random vectors from a never-seeded 15-bit generator.
#pragma once

#include "platform.h"

int rand15();
VOID WINAPI fill_noise(D3DXVECTOR4* out, const D3DXVECTOR2* texel_coordinate, const D3DXVECTOR2* texel_size,
                       LPVOID data);
