#include "noise.h"

#include <cmath>

static DWORD rand15_state = 1;

int rand15()
{
    rand15_state = rand15_state * 214013u + 2531011u;
    return (int)((rand15_state >> 16) & 0x7FFF);
}

// A vector with its direction uniform over the sphere and its length uniform in [0, 0.1].
VOID WINAPI fill_noise(D3DXVECTOR4* out, const D3DXVECTOR2*, const D3DXVECTOR2*, LPVOID)
{
    int a = rand15();
    int b = rand15();
    int c = rand15();

    float r = (float)(a * 0.1 / 32767);
    float phi = (float)(b * 6.2831854820251465 * (1.0 / 32768));
    float z = (float)(2.0 * c / 32767 - 1);
    float s = (float)std::sqrt((double)(float)(1.0 - (double)z * z));
    double m = (double)s * r;

    out->x = (float)((float)std::cos((double)phi) * m);
    out->y = (float)((float)std::sin((double)phi) * m);
    out->z = z * r;
    out->w = 0.0f;
}
