#include "video_stream.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(VideoStream, HeaderGivesTheRateAsAReducedFraction)
{
    EXPECT_EQ(video_stream::header(1280, 720, 60), "YUV4MPEG2 W1280 H720 F60:1 Ip A1:1 C420jpeg XCOLORRANGE=LIMITED\n");
    EXPECT_EQ(video_stream::header(1280, 720, 29.97),
              "YUV4MPEG2 W1280 H720 F2997:100 Ip A1:1 C420jpeg XCOLORRANGE=LIMITED\n");
    EXPECT_EQ(video_stream::header(2, 2, 0.5), "YUV4MPEG2 W2 H2 F1:2 Ip A1:1 C420jpeg XCOLORRANGE=LIMITED\n");
}

// A 4 x 2 picture: the left 2 x 2 block black, white, red, blue; the right one all grey 128.
TEST(VideoStream, ChromaIsTheAverageOfEachTwoByTwoBlock)
{
    const std::uint8_t rgba[] = {0,   0, 0, 255, 255, 255, 255, 255, 128, 128, 128, 255, 128, 128, 128, 255,
                                 255, 0, 0, 255, 0,   0,   255, 255, 128, 128, 128, 255, 128, 128, 128, 255};
    std::vector<std::uint8_t> frame;
    video_stream::encode_frame(4, 2, std::vector<std::uint8_t>(rgba, rgba + sizeof rgba), frame);
    ASSERT_EQ(frame.size(), 6u + 8 + 2 + 2);
    EXPECT_EQ(std::string(frame.begin(), frame.begin() + 6), "FRAME\n");
    const std::uint8_t* luma = frame.data() + 6;
    const std::uint8_t expected_luma[] = {16, 235, 126, 126, 63, 32, 126, 126};  // grey: 16 + 219 * 128 / 255
    for (int i = 0; i < 8; ++i) EXPECT_EQ(luma[i], expected_luma[i]) << "pixel " << i;

    // The block's average: r = (0 + 255 + 255 + 0) / 4, g = (0 + 255 + 0 + 0) / 4, b = (0 + 255 + 0 + 255) / 4.
    const double r = 510 / 4.0 / 255, g = 255 / 4.0 / 255, b = 510 / 4.0 / 255;
    const double y = 0.2126 * r + 0.7152 * g + 0.0722 * b;
    EXPECT_NEAR(frame[6 + 8], 128 + 224 * (b - y) / 1.8556, 0.51);
    EXPECT_NEAR(frame[6 + 8 + 2], 128 + 224 * (r - y) / 1.5748, 0.51);
    EXPECT_EQ(frame[6 + 8 + 1], 128) << "a grey has no colour";
    EXPECT_EQ(frame[6 + 8 + 2 + 1], 128) << "a grey has no colour";
}

}  // namespace
