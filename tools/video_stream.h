// An uncompressed video stream that ffmpeg and mpv read as it comes: YUV4MPEG2, 4:2:0 with the
// chroma centred between its four pixels, BT.709 colours in video range (16-235), as players assume
// for HD pictures.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace video_stream {

// The stream's header: picture size and frame rate (as a fraction, for rates like 29.97).
std::string header(int width, int height, double fps);

// One frame, "FRAME" line included: rgba has width * height pixels, four bytes each, top row
// first; width and height are even. Replaces what `frame` held.
void encode_frame(int width, int height, const std::vector<std::uint8_t>& rgba, std::vector<std::uint8_t>& frame);

}  // namespace video_stream
