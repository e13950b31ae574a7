// Presentation parameters for our own tools and tests that render off-screen.
#include "linux_platform.h"

namespace fxplatform {

D3DPRESENT_PARAMETERS offscreen_present_params()
{
    D3DPRESENT_PARAMETERS params = {};
    params.BackBufferWidth = 1280;
    params.BackBufferHeight = 720;
    params.BackBufferFormat = D3DFMT_X8R8G8B8;
    params.BackBufferCount = 1;
    params.SwapEffect = D3DSWAPEFFECT_DISCARD;
    params.Windowed = TRUE;
    params.EnableAutoDepthStencil = TRUE;
    params.AutoDepthStencilFormat = D3DFMT_D24S8;
    params.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    return params;
}

}  // namespace fxplatform
