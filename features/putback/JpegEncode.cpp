#include "features/putback/JpegEncode.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

namespace glintmark::features {
namespace {

// libjpeg reports a fatal error by calling error_exit, which must not return: it jumps back.
struct Trap
{
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void jumpOut(j_common_ptr info)
{
    auto* trap = reinterpret_cast<Trap*>(info->err);
    (*info->err->format_message)(info, trap->message);
    std::longjmp(trap->jump, 1);
}

void ignoreMessage(j_common_ptr, int) {}

void arm(Trap& trap, jpeg_error_mgr*& err)
{
    err = jpeg_std_error(&trap.manager);
    trap.manager.error_exit = jumpOut;
    trap.manager.emit_message = ignoreMessage;
}

// Only plain data lives in these frames, so leaving them by longjmp is safe.
bool readSampling(jpeg_decompress_struct& info, Trap& trap, const unsigned char* data,
                  std::size_t size, std::vector<Sampling>& found)
{
    if (setjmp(trap.jump) != 0)
        return false;
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);
    for (int i = 0; i < info.num_components; ++i)
        found.push_back({info.comp_info[i].h_samp_factor, info.comp_info[i].v_samp_factor});
    return true;
}

bool decodePixels(jpeg_decompress_struct& info, Trap& trap, const unsigned char* data,
                  std::size_t size, Pixels& pixels)
{
    if (setjmp(trap.jump) != 0)
        return false;
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);
    // Grey stays grey and CMYK stays CMYK; everything else comes out as RGB.
    if (info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK)
        info.out_color_space = JCS_CMYK;
    else if (info.jpeg_color_space != JCS_GRAYSCALE)
        info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    pixels.width = info.output_width;
    pixels.height = info.output_height;
    pixels.components = info.output_components;
    pixels.colourSpace = info.out_color_space;
    const std::size_t row = std::size_t{pixels.width} * static_cast<std::size_t>(pixels.components);
    pixels.bytes.resize(row * pixels.height);
    while (info.output_scanline < info.output_height) {
        JSAMPROW line = pixels.bytes.data() + row * info.output_scanline;
        jpeg_read_scanlines(&info, &line, 1);
    }
    jpeg_finish_decompress(&info);
    return true;
}

bool encodePixels(jpeg_compress_struct& info, Trap& trap, const Pixels& pixels,
                  const EncodeSettings& settings, unsigned char*& out, unsigned long& outSize)
{
    if (setjmp(trap.jump) != 0)
        return false;
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &out, &outSize);
    info.image_width = pixels.width;
    info.image_height = pixels.height;
    info.input_components = pixels.components;
    info.in_color_space = static_cast<J_COLOR_SPACE>(pixels.colourSpace);
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, settings.quality, TRUE);
    info.arith_code = settings.arithmetic ? TRUE : FALSE;
    info.optimize_coding = settings.arithmetic ? FALSE : TRUE;
    if (static_cast<int>(settings.sampling.size()) == info.num_components) {
        for (int i = 0; i < info.num_components; ++i) {
            info.comp_info[i].h_samp_factor =
                settings.sampling[static_cast<std::size_t>(i)].horizontal;
            info.comp_info[i].v_samp_factor =
                settings.sampling[static_cast<std::size_t>(i)].vertical;
        }
    }
    if (settings.coding == JpegCoding::Progressive)
        jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    const std::size_t row = std::size_t{pixels.width} * static_cast<std::size_t>(pixels.components);
    while (info.next_scanline < info.image_height) {
        auto* line = const_cast<JSAMPROW>(pixels.bytes.data() + row * info.next_scanline);
        jpeg_write_scanlines(&info, &line, 1);
    }
    jpeg_finish_compress(&info);
    return true;
}

} // namespace

std::vector<Sampling> frameSampling(const unsigned char* data, std::size_t size)
{
    jpeg_decompress_struct info{};
    Trap trap{};
    arm(trap, info.err);
    std::vector<Sampling> found;
    if (!readSampling(info, trap, data, size, found))
        found.clear();
    jpeg_destroy_decompress(&info);
    return found;
}

DecodedImage::DecodedImage(const unsigned char* data, std::size_t size)
{
    jpeg_decompress_struct info{};
    Trap trap{};
    arm(trap, info.err);
    if (!decodePixels(info, trap, data, size, m_pixels)) {
        m_error = trap.message;
        m_pixels = Pixels{};
    }
    jpeg_destroy_decompress(&info);
}

std::optional<std::string> DecodedImage::encode(const EncodeSettings& settings)
{
    jpeg_compress_struct info{};
    Trap trap{};
    arm(trap, info.err);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    const bool done = encodePixels(info, trap, m_pixels, settings, out, outSize);
    jpeg_destroy_compress(&info);
    std::optional<std::string> bytes;
    if (done)
        bytes.emplace(reinterpret_cast<const char*>(out), outSize);
    else
        m_error = trap.message;
    std::free(out);
    return bytes;
}

} // namespace glintmark::features
