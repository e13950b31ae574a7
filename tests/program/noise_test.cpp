// The noise generator: the never-seeded 15-bit sequence and the vectors made from it.
#include <cmath>

#include "program.h"

using namespace recording;

namespace {

class Noise : public RecordingTest {};

double length(const D3DXVECTOR4& v) { return std::sqrt((double)v.x * v.x + (double)v.y * v.y + (double)v.z * v.z); }

void expect_first_worked_value(const D3DXVECTOR4& v)
{
    EXPECT_NEAR(v.x, -0.000091044, 5e-10);
    EXPECT_NEAR(v.y, -0.000038429, 5e-10);
    EXPECT_NEAR(v.z, -0.000076751, 5e-10);
    EXPECT_EQ(v.w, 0.0f);
    EXPECT_NEAR(length(v), 0.00012513, 5e-9);
}

void expect_second_worked_value(const D3DXVECTOR4& v)
{
    EXPECT_NEAR(v.x, -0.069557, 5e-7);
    EXPECT_NEAR(v.y, -0.041131, 5e-7);
    EXPECT_NEAR(v.z, -0.0032555, 5e-8);
    EXPECT_EQ(v.w, 0.0f);
    EXPECT_NEAR(length(v), 0.080874, 5e-7);
}

TEST_F(Noise, GeneratorStartsWithItsKnownSequence)
{
    REQUIRE_FRESH_PROCESS();
    std::vector<int> first;
    first.reserve(6);
    for (int i = 0; i < 6; ++i) first.push_back(rand15());
    EXPECT_EQ(first, (std::vector<int>{41, 18467, 6334, 26500, 19169, 15724}));
}

TEST_F(Noise, FirstTwoVectorsAreTheWorkedValues)
{
    REQUIRE_FRESH_PROCESS();
    D3DXVECTOR4 v = {1, 1, 1, 1};
    fill_noise(&v, nullptr, nullptr, nullptr);
    expect_first_worked_value(v);
    v = {1, 1, 1, 1};
    fill_noise(&v, nullptr, nullptr, nullptr);
    expect_second_worked_value(v);
}

TEST_F(Noise, TheFirstLoadFillsFromTheStartOfTheSequenceRowByRow)
{
    REQUIRE_FRESH_PROCESS();
    send_on_create(WM_CLOSE);
    std::vector<D3DXVECTOR4> texels;
    on_present([&] { texels = texture_record(resources.noise_texture)->texels; });
    EXPECT_EQ(run_program(), 0);
    ASSERT_EQ(texels.size(), 1024u);
    expect_first_worked_value(texels[0]);
    expect_second_worked_value(texels[1]);
    EXPECT_EQ(rand15(), [] {  // 3 draws per texel moved the generator on by 3072
        unsigned state = 1;
        for (int i = 0; i < 3073; ++i) state = state * 214013u + 2531011u;
        return (int)((state >> 16) & 0x7FFF);
    }());
}

// Follows the generator alongside fill_noise until each extreme draw has come up.
TEST_F(Noise, ExtremeDrawsGiveFullLengthZeroAndVerticalVectors)
{
    REQUIRE_FRESH_PROCESS();
    unsigned state = 1;
    auto draw = [&state] {
        state = state * 214013u + 2531011u;
        return (int)((state >> 16) & 0x7FFF);
    };
    bool full = false, zero = false, down = false, up = false;
    for (int call = 0; call < 1000000 && !(full && zero && down && up); ++call) {
        int a = draw();
        draw();
        int c = draw();
        D3DXVECTOR4 v;
        fill_noise(&v, nullptr, nullptr, nullptr);
        double r = a * 0.1 / 32767;
        ASSERT_EQ(v.w, 0.0f);
        ASSERT_NEAR(length(v), r, r * 2e-6 + 1e-12) << "call " << call;
        if (a == 32767) {
            full = true;
            EXPECT_NEAR(length(v), 0.1, 2e-8);
        }
        if (a == 0) {
            zero = true;
            EXPECT_TRUE(v.x == 0 && v.y == 0 && v.z == 0);
        }
        if (c == 0 || c == 32767) {
            (c == 0 ? down : up) = true;
            EXPECT_EQ(v.x, 0.0f);
            EXPECT_EQ(v.y, 0.0f);
            EXPECT_EQ(v.z, c == 0 ? -(float)r : (float)r);
        }
    }
    EXPECT_TRUE(full && zero && down && up);
}

}  // namespace
