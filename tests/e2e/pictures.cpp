#include "pictures.h"

#include <png.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

bool read_png(const std::string& path, Picture& picture)
{
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_RGBA;
    picture.width = (int)image.width;
    picture.height = (int)image.height;
    picture.rgba.resize(PNG_IMAGE_SIZE(image));
    bool ok = png_image_finish_read(&image, nullptr, picture.rgba.data(), 0, nullptr) != 0;
    png_image_free(&image);
    return ok;
}

bool read_pfm(const std::string& path, FloatPicture& picture)
{
    std::ifstream file(path, std::ios::binary);
    std::string magic, scale;
    file >> magic >> picture.width >> picture.height >> scale;
    file.get();  // the single whitespace before the data
    if (!file || magic != "PF" || picture.width <= 0 || picture.height <= 0) return false;
    picture.header = magic + "\n" + std::to_string(picture.width) + " " + std::to_string(picture.height) + "\n" + scale;
    size_t row = (size_t)picture.width * 3;
    picture.rgb.resize(row * picture.height);
    for (int y = picture.height - 1; y >= 0; --y) {  // stored bottom row first
        if (!file.read(reinterpret_cast<char*>(&picture.rgb[row * y]), (std::streamsize)(row * sizeof(float)))) {
            return false;
        }
    }
    return true;
}
