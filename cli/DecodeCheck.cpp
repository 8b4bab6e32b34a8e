#include "cli/DecodeCheck.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace glintmark::cli {
namespace {

struct ErrorTrap
{
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char firstMessage[JMSG_LENGTH_MAX];
};

void keepFirstMessage(j_common_ptr info)
{
    auto* trap = reinterpret_cast<ErrorTrap*>(info->err);
    if (trap->firstMessage[0] == '\0')
        (*info->err->format_message)(info, trap->firstMessage);
}

[[noreturn]] void failDecode(j_common_ptr info)
{
    keepFirstMessage(info);
    std::longjmp(reinterpret_cast<ErrorTrap*>(info->err)->jump, 1);
}

void noteMessage(j_common_ptr info, int level)
{
    if (level < 0) { // a warning: the data is damaged but decoding goes on
        ++info->err->num_warnings;
        keepFirstMessage(info);
    }
}

// Runs the decoder; only plain data lives in this frame, so leaving it by longjmp is safe.
bool decodeAll(jpeg_decompress_struct& info, ErrorTrap& trap, const unsigned char* data,
               std::size_t size, DecodeResult& result)
{
    if (setjmp(trap.jump) != 0)
        return false;
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);
    // Damage shows while the data is decoded, not in how pixels are shaped: the fastest
    // transform, plain upsampling and no colour conversion find the same warnings sooner.
    info.dct_method = JDCT_IFAST;
    info.do_fancy_upsampling = FALSE;
    if (info.jpeg_color_space == JCS_YCbCr)
        info.out_color_space = JCS_YCbCr;
    jpeg_start_decompress(&info);
    result.width = info.output_width;
    result.height = info.output_height;
    result.components = info.output_components;
    const JDIMENSION rowBytes = info.output_width * static_cast<JDIMENSION>(info.output_components);
    JSAMPARRAY rows =
        (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE, rowBytes, 4);
    while (info.output_scanline < info.output_height)
        jpeg_read_scanlines(&info, rows, 4);
    jpeg_finish_decompress(&info);
    return true;
}

} // namespace

DecodeResult decodeJpeg(const unsigned char* data, std::size_t size)
{
    DecodeResult result;
    jpeg_decompress_struct info{};
    ErrorTrap trap{};
    info.err = jpeg_std_error(&trap.manager);
    trap.manager.error_exit = failDecode;
    trap.manager.emit_message = noteMessage;

    result.finished = decodeAll(info, trap, data, size, result);
    result.warnings = static_cast<int>(trap.manager.num_warnings);
    result.message = trap.firstMessage;
    jpeg_destroy_decompress(&info);
    return result;
}

} // namespace glintmark::cli
