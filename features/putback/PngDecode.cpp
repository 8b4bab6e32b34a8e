#include "features/putback/PngDecode.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include <jpeglib.h>
#include <png.h>

namespace glintmark::features {
namespace {

// The PNG's bytes as libpng reads them, and where it has got to.
struct Source
{
    const unsigned char* data;
    std::size_t size;
    std::size_t at;
};

// libpng reports a fatal error by calling the error function, which must not return: it copies
// the reason and jumps back to the setjmp of the function that called into libpng. Only plain
// data lives in those functions' frames, so leaving them by longjmp is safe.
struct Trap
{
    char message[256];
};

[[noreturn]] void failPng(png_structp png, png_const_charp message)
{
    auto* trap = static_cast<Trap*>(png_get_error_ptr(png));
    std::snprintf(trap->message, sizeof trap->message, "%s", message);
    png_longjmp(png, 1);
}

void ignoreWarning(png_structp, png_const_charp) {}

void readFromMemory(png_structp png, png_bytep out, png_size_t count)
{
    auto* source = static_cast<Source*>(png_get_io_ptr(png));
    if (count > source->size - source->at)
        png_error(png, "the file ends before its image does");
    std::memcpy(out, source->data + source->at, count);
    source->at += count;
}

// A libpng reader and its header, destroyed with it; made outside every setjmp frame.
class Reader
{
public:
    Reader(const unsigned char* data, std::size_t size, std::uint64_t chunkLimit)
        : m_source{data, size, 0}
    {
        m_png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &m_trap, failPng, ignoreWarning);
        if (m_png != nullptr)
            m_info = png_create_info_struct(m_png);
        if (m_info == nullptr)
            return;
        png_set_read_fn(m_png, &m_source, readFromMemory);
        // No chunk outside the image data is held whole beyond this.
        png_set_chunk_malloc_max(
            m_png, static_cast<png_alloc_size_t>(std::min<std::uint64_t>(chunkLimit, 8u << 20)));
    }
    ~Reader() { png_destroy_read_struct(&m_png, m_info != nullptr ? &m_info : nullptr, nullptr); }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    bool ready() const { return m_info != nullptr; }
    png_structp png() const { return m_png; }
    png_infop info() const { return m_info; }
    std::string message() const
    {
        return m_trap.message[0] != '\0' ? std::string(m_trap.message) : "libpng gave no reason";
    }

private:
    Trap m_trap{};
    Source m_source;
    png_structp m_png = nullptr;
    png_infop m_info = nullptr;
};

bool readInfo(png_structp png, png_infop info)
{
    if (setjmp(png_jmpbuf(png)) != 0)
        return false;
    png_read_info(png, info);
    return true;
}

// How decoding the rows ended.
enum class Ended
{
    Done,
    Failed,
    OverLimit,
    OverMemory,
    Stopped,
    Transparent
};

// What the rows are decoded under, and what they need.
struct RowsAsked
{
    DecodeLimits limits{};
    const std::function<bool()>* keepGoing = nullptr;
    int components = 0;
};

// `width` pixels of `channels` (1 to 4, alpha last when 2 or 4) written as `wanted` (1 or 3)
// into `out`; false when a pixel is not fully opaque.
bool convertRow(const unsigned char* in, int channels, unsigned width, int wanted,
                unsigned char* out)
{
    const bool alpha = channels == 2 || channels == 4;
    const bool colour = channels >= 3;
    for (unsigned x = 0; x < width; ++x, in += channels) {
        if (alpha && in[channels - 1] != 0xFF)
            return false;
        if (colour == (wanted == 3)) {
            std::memcpy(out, in, static_cast<std::size_t>(wanted));
        } else if (colour) {
            // As libjpeg makes grey of RGB: 0.299 R + 0.587 G + 0.114 B, rounded.
            const std::uint32_t y = 19595u * in[0] + 38470u * in[1] + 7471u * in[2] + 32768u;
            out[0] = static_cast<unsigned char>(y >> 16);
        } else {
            out[0] = out[1] = out[2] = in[0];
        }
        out += wanted;
    }
    return true;
}

bool goOn(const RowsAsked& asked)
{
    return asked.keepGoing == nullptr || !*asked.keepGoing || (*asked.keepGoing)();
}

Ended decodeRows(png_structp png, png_infop info, const RowsAsked& asked,
                 std::vector<unsigned char>& work, Pixels& pixels, std::uint64_t& bytes)
{
    if (setjmp(png_jmpbuf(png)) != 0)
        return Ended::Failed;
    png_read_info(png, info);
    png_set_expand(png); // a palette to RGB, fewer bits of grey to 8, a transparent colour to alpha
    png_set_strip_16(png);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const unsigned width = png_get_image_width(png, info);
    const unsigned height = png_get_image_height(png, info);
    const int channels = png_get_channels(png, info);
    const int own = channels >= 3 ? 3 : 1;
    const int wanted = asked.components == 1 || asked.components == 3 ? asked.components : own;
    const std::uint64_t area = std::uint64_t{width} * height;
    const std::uint64_t row = std::uint64_t{width} * static_cast<std::uint64_t>(channels);
    // The pixels as kept, and what they are read into first: a row, or all of them when the
    // passes of an interlaced image fill each row in several times.
    bytes = area * static_cast<std::uint64_t>(std::max(channels, wanted));
    const std::uint64_t held = area * static_cast<std::uint64_t>(wanted) +
                               (passes > 1 ? area * static_cast<std::uint64_t>(channels) : row);
    if (bytes > asked.limits.maxImageBytes)
        return Ended::OverLimit;
    if (held >= asked.limits.maxMemory) {
        bytes = held;
        return Ended::OverMemory;
    }
    work.resize(static_cast<std::size_t>(passes > 1 ? row * height : row));
    pixels.width = width;
    pixels.height = height;
    pixels.components = wanted;
    pixels.colourSpace = wanted == 1 ? JCS_GRAYSCALE : JCS_RGB;
    const std::size_t outRow = std::size_t{width} * static_cast<std::size_t>(wanted);
    pixels.bytes.resize(outRow * height);
    for (int pass = 0; pass < passes; ++pass) {
        for (unsigned y = 0; y < height; ++y) {
            if (!goOn(asked))
                return Ended::Stopped;
            unsigned char* line = work.data() + (passes > 1 ? row * y : 0);
            png_read_row(png, line, nullptr);
            if (passes == 1 &&
                !convertRow(line, channels, width, wanted, pixels.bytes.data() + outRow * y))
                return Ended::Transparent;
        }
    }
    for (unsigned y = 0; passes > 1 && y < height; ++y) {
        if (!convertRow(work.data() + row * y, channels, width, wanted,
                        pixels.bytes.data() + outRow * y))
            return Ended::Transparent;
    }
    png_read_end(png, nullptr);
    return Ended::Done;
}

} // namespace

PngHeader readPngHeader(const unsigned char* data, std::size_t size)
{
    PngHeader header;
    Reader reader(data, size, 0);
    if (!reader.ready()) {
        header.error = "libpng could not start";
        return header;
    }
    if (!readInfo(reader.png(), reader.info())) {
        header.error = reader.message();
        return header;
    }
    header.ok = true;
    header.width = png_get_image_width(reader.png(), reader.info());
    header.height = png_get_image_height(reader.png(), reader.info());
    header.components =
        (png_get_color_type(reader.png(), reader.info()) & PNG_COLOR_MASK_COLOR) != 0 ? 3 : 1;
    return header;
}

PngDecoded decodePng(const unsigned char* data, std::size_t size, const DecodeLimits& limits,
                     const std::function<bool()>& keepGoing, int components)
{
    PngDecoded decoded;
    Reader reader(data, size, limits.maxMemory);
    if (!reader.ready()) {
        decoded.error = "libpng could not start";
        return decoded;
    }
    std::vector<unsigned char> work;
    std::uint64_t bytes = 0;
    const Ended ended = decodeRows(reader.png(), reader.info(), {limits, &keepGoing, components},
                                   work, decoded.pixels, bytes);
    if (ended == Ended::Done)
        return decoded;
    decoded.pixels = Pixels{};
    decoded.stopped = ended == Ended::Stopped;
    decoded.transparent = ended == Ended::Transparent;
    if (ended == Ended::Failed)
        decoded.error = reader.message();
    else if (ended == Ended::Stopped)
        decoded.error = "stopped";
    else if (ended == Ended::Transparent)
        decoded.error = "has transparent pixels";
    else
        decoded.error = "its " + std::to_string(bytes) + " bytes of pixels are more than " +
                        (ended == Ended::OverLimit
                             ? "the image limit of " + std::to_string(limits.maxImageBytes) +
                                   " bytes (GLINTMARK_CHECK_IMAGE_MIB)"
                             : "the memory limit of " + std::to_string(limits.maxMemory) +
                                   " bytes (GLINTMARK_CHECK_MEMORY_MIB)") +
                        " allows";
    return decoded;
}

} // namespace glintmark::features
