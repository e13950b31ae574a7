#include "video_stream.h"

#include <cmath>
#include <cstdio>
#include <numeric>

namespace video_stream {

namespace {

// BT.709 in 16.16 fixed point, scaled to video range (219 levels of luma, 224 of chroma), each row
// rounded so that its sum stays exact: a grey keeps its level and gets no colour.
constexpr double KR = 0.2126, KB = 0.0722;
constexpr double ONE = 65536.0;

constexpr int fixed(double value) { return (int)(value * ONE + (value < 0 ? -0.5 : 0.5)); }

struct Coefficients {
    int r, g, b;
};

constexpr Coefficients LUMA = [] {
    constexpr double scale = 219.0 / 255.0;
    Coefficients c{fixed(KR * scale), 0, fixed(KB * scale)};
    c.g = fixed(scale) - c.r - c.b;
    return c;
}();

constexpr Coefficients BLUE_DIFFERENCE = [] {
    constexpr double scale = 224.0 / 255.0 / (2.0 * (1.0 - KB));
    Coefficients c{fixed(-KR * scale), 0, fixed((1.0 - KB) * scale)};
    c.g = -c.r - c.b;
    return c;
}();

constexpr Coefficients RED_DIFFERENCE = [] {
    constexpr double scale = 224.0 / 255.0 / (2.0 * (1.0 - KR));
    Coefficients c{fixed((1.0 - KR) * scale), 0, fixed(-KB * scale)};
    c.g = -c.r - c.b;
    return c;
}();

const char* const FRAME_LINE = "FRAME\n";
const std::size_t FRAME_LINE_SIZE = 6;

// The chroma of a 2 x 2 block from its channel sums: the coefficients take the average (a shift of
// two more bits) and the 128 offset, rounded.
std::uint8_t chroma(const Coefficients& c, int r, int g, int b)
{
    const int shift = 16 + 2;
    return (std::uint8_t)((c.r * r + c.g * g + c.b * b + (128 << shift) + (1 << (shift - 1))) >> shift);
}

}  // namespace

std::string header(int width, int height, double fps)
{
    // The rate as a fraction in thousandths (29.97 is 2997:100), reduced.
    const long thousandths = std::lround(fps * 1000.0);
    const long common = std::gcd(thousandths, 1000L);
    const long numerator = thousandths / common, denominator = 1000 / common;
    char text[160];
    std::snprintf(text, sizeof text, "YUV4MPEG2 W%d H%d F%ld:%ld Ip A1:1 C420jpeg XCOLORRANGE=LIMITED\n", width, height,
                  numerator, denominator);
    return text;
}

void encode_frame(int width, int height, const std::vector<std::uint8_t>& rgba, std::vector<std::uint8_t>& frame)
{
    const std::size_t pixels = (std::size_t)width * height;
    const std::size_t chroma_size = pixels / 4;
    frame.resize(FRAME_LINE_SIZE + pixels + 2 * chroma_size);
    std::copy(FRAME_LINE, FRAME_LINE + FRAME_LINE_SIZE, frame.begin());
    std::uint8_t* luma = frame.data() + FRAME_LINE_SIZE;
    std::uint8_t* blue = luma + pixels;
    std::uint8_t* red = blue + chroma_size;
    const std::uint8_t* in = rgba.data();

    for (std::size_t i = 0; i < pixels; ++i) {
        const std::uint8_t* p = in + i * 4;
        luma[i] = (std::uint8_t)(((LUMA.r * p[0] + LUMA.g * p[1] + LUMA.b * p[2] + (1 << 15)) >> 16) + 16);
    }
    const std::size_t row = (std::size_t)width * 4;
    for (int y = 0; y < height / 2; ++y) {
        const std::uint8_t* top = in + (std::size_t)y * 2 * row;
        const std::uint8_t* bottom = top + row;
        for (int x = 0; x < width / 2; ++x) {
            const std::size_t i = (std::size_t)x * 8;
            const int r = top[i] + top[i + 4] + bottom[i] + bottom[i + 4];
            const int g = top[i + 1] + top[i + 5] + bottom[i + 1] + bottom[i + 5];
            const int b = top[i + 2] + top[i + 6] + bottom[i + 2] + bottom[i + 6];
            const std::size_t out = (std::size_t)y * (width / 2) + x;
            blue[out] = chroma(BLUE_DIFFERENCE, r, g, b);
            red[out] = chroma(RED_DIFFERENCE, r, g, b);
        }
    }
}

}  // namespace video_stream
