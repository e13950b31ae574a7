// Reading back what fxshot writes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;  // top row first
};

struct FloatPicture {
    int width = 0;
    int height = 0;
    std::string header;
    std::vector<float> rgb;  // top row first, as the renderer laid it out
};

bool read_png(const std::string& path, Picture& picture);
bool read_pfm(const std::string& path, FloatPicture& picture);
