// Writing pictures: 8-bit PNG for screenshots, colour PFM for float targets.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// rgba: width * height pixels, four bytes each, top row first; the PNG keeps R, G and B.
bool write_png(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgba);

// rgba: width * height pixels, four floats each, top row first. PFM keeps three, bottom row first.
bool write_pfm(const std::string& path, int width, int height, const std::vector<float>& rgba);
