#include "png_text.h"

#include <array>
#include <cstdint>

namespace talvane {

namespace {

const std::string kSignature("\x89PNG\r\n\x1a\n", 8);

// The CRC-32 of PNG chunks (ISO 3309, polynomial 0xedb88320).
std::uint32_t crc32(const std::string& bytes) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xedb88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t c = 0xffffffffu;
    for (const char byte : bytes) c = table[(c ^ static_cast<unsigned char>(byte)) & 0xff] ^ (c >> 8);
    return c ^ 0xffffffffu;
}

void appendWord(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xff);
}

std::uint32_t wordAt(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

}  // namespace

bool addPngText(std::string& png, const std::string& keyword, const std::string& text) {
    if (keyword.empty() || keyword.size() > 79) return false;
    for (const char c : keyword) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 32 || (u > 126 && u < 161)) return false;
    }
    if (png.size() < 33 || png.compare(0, 8, kSignature) != 0 || png.compare(12, 4, "IHDR") != 0) return false;
    const std::size_t headerEnd = 8 + 12 + wordAt(png, 8);
    if (headerEnd > png.size()) return false;
    // Type and data: keyword, no compression, no language, no translated keyword.
    std::string body = "iTXt" + keyword;
    body += std::string("\0\0\0\0\0", 5);
    body += text;
    std::string chunk;
    appendWord(chunk, static_cast<std::uint32_t>(body.size() - 4));
    chunk += body;
    appendWord(chunk, crc32(body));
    png.insert(headerEnd, chunk);
    return true;
}

}  // namespace talvane
