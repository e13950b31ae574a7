#include "wire.h"

#include <cstring>

namespace fxplatform {

void WireWriter::text(const std::string& value)
{
    word((std::uint32_t)value.size());
    std::size_t at = words.size();
    words.resize(at + (value.size() + 3) / 4, 0);
    if (!value.empty()) std::memcpy(&words[at], value.data(), value.size());
}

void WireWriter::word_list(const std::vector<std::uint32_t>& values)
{
    word((std::uint32_t)values.size());
    words.insert(words.end(), values.begin(), values.end());
}

bool WireReader::has(std::size_t words)
{
    if (ok_ && words <= count_ - at_) return true;
    ok_ = false;
    return false;
}

std::uint32_t WireReader::word() { return has(1) ? words_[at_++] : 0; }

std::string WireReader::text()
{
    std::uint32_t size = word();
    if (!has((std::size_t(size) + 3) / 4)) return std::string();
    std::string value(reinterpret_cast<const char*>(words_ + at_), size);
    at_ += (std::size_t(size) + 3) / 4;
    return value;
}

std::vector<std::uint32_t> WireReader::word_list()
{
    std::uint32_t count = word();
    if (!has(count)) return {};
    std::vector<std::uint32_t> values(words_ + at_, words_ + at_ + count);
    at_ += count;
    return values;
}

}  // namespace fxplatform
