#include <cstdio>

#include "device_loss.h"
#include "frame_clock.h"
#include "render.h"

// Corners half a pixel up and left, so texel centres land on pixel centres.
const ScreenVertex screen_quad[4] = {
    {-0.5f, -0.5f, 0.0f, 1.0f, 0.0f, 0.0f},
    {SCREEN_WIDTH - 0.5f, -0.5f, 0.0f, 1.0f, 1.0f, 0.0f},
    {-0.5f, SCREEN_HEIGHT - 0.5f, 0.0f, 1.0f, 0.0f, 1.0f},
    {SCREEN_WIDTH - 0.5f, SCREEN_HEIGHT - 0.5f, 0.0f, 1.0f, 1.0f, 1.0f},
};

static const DWORD CLEAR_FLAGS = D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER;
static const D3DCOLOR CLEAR_COLOR = 0x00000000;

static void draw_screen_quad() { device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, screen_quad, sizeof(ScreenVertex)); }

void render_frame()
{
    // The global key state, so F5 in the editor reloads the viewer behind it.
    if (GetAsyncKeyState(VK_F5)) {
        load_resources();
    }

    if (device->BeginScene() == D3D_OK) {
        if (!resources.scene_shader) {
            printf("Error : Pshader\n");
        } else {
            device->SetPixelShaderConstantF(0, &shader_constants.registers[0][0], 64);
            device->SetPixelShader(resources.scene_shader);
        }
        advance();  // after the upload: this frame sees the previous frame's time

        device->SetTexture(1, resources.noise_texture);
        device->SetRenderTarget(0, resources.scene_surface);
        device->Clear(0, NULL, CLEAR_FLAGS, CLEAR_COLOR, 1.0f, 0);
        device->SetFVF(SCREEN_VERTEX_FVF);
        draw_screen_quad();

        device->SetRenderTarget(0, resources.back_buffer);
        device->Clear(0, NULL, CLEAR_FLAGS, CLEAR_COLOR, 1.0f, 0);
        device->SetFVF(SCREEN_VERTEX_FVF);
        device->SetTexture(0, resources.scene_texture);
        device->SetPixelShader(resources.final_shader);
        draw_screen_quad();

        device->EndScene();
    }
    note_present_result(device->Present(NULL, NULL, NULL, NULL));
}
