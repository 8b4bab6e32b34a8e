#include "features/putback/JpegEncode.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <limits>
#include <utility>

#include <jerror.h>
#include <jpeglib.h>

namespace glintmark::features {
namespace {

// libjpeg reports a fatal error by calling error_exit, which must not return: it jumps back.
// The same way out serves a stop, which libjpeg's progress monitor asks about as it goes.
struct Trap
{
    jpeg_error_mgr manager;
    jpeg_progress_mgr progress;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    const std::function<bool()>* keepGoing;
    bool stopped;
    bool overMemory;
};

[[noreturn]] void jumpOut(j_common_ptr info)
{
    auto* trap = static_cast<Trap*>(info->client_data);
    // Large arrays beyond the memory limit would go to a backing store, which there is none of.
    trap->overMemory = info->err->msg_code == JERR_NO_BACKING_STORE;
    (*info->err->format_message)(info, trap->message);
    std::longjmp(trap->jump, 1);
}

void ignoreMessage(j_common_ptr, int) {}

void askToGoOn(j_common_ptr info)
{
    auto* trap = static_cast<Trap*>(info->client_data);
    if (trap->keepGoing != nullptr && *trap->keepGoing && !(*trap->keepGoing)()) {
        trap->stopped = true;
        std::longjmp(trap->jump, 1);
    }
}

// Readies `info` to report through `trap`, asking `keepGoing` (when set) as it works.
template <typename Info> void arm(Trap& trap, Info& info, const std::function<bool()>& keepGoing)
{
    info.err = jpeg_std_error(&trap.manager);
    trap.manager.error_exit = jumpOut;
    trap.manager.emit_message = ignoreMessage;
    trap.progress.progress_monitor = askToGoOn;
    trap.keepGoing = &keepGoing;
    info.client_data = &trap;
}

// Creating the object clears all but its error manager and client data: the monitor is put back.
template <typename Info> void watch(Info& info, Trap& trap)
{
    info.progress = &trap.progress;
}

// What went wrong, as a sentence fragment: libjpeg's message, or the limit or the stop.
std::string failureText(const Trap& trap, const DecodeLimits& limits, std::uint64_t pixels)
{
    if (trap.stopped)
        return "stopped";
    if (trap.overMemory)
        return "needs more than the memory limit of " + std::to_string(limits.maxMemory) +
               " bytes (GLINTMARK_CHECK_MEMORY_MIB) leaves beside its " + std::to_string(pixels) +
               " bytes of pixels";
    return trap.message;
}

// libjpeg takes its memory limit as a long, which is 32 bits on Windows.
long memoryLimit(std::uint64_t bytes)
{
    return static_cast<long>(std::min<std::uint64_t>(bytes, std::numeric_limits<long>::max()));
}

// Only plain data lives in these frames, so leaving them by longjmp is safe.
bool readSampling(jpeg_decompress_struct& info, Trap& trap, const unsigned char* data,
                  std::size_t size, std::vector<Sampling>& found)
{
    if (setjmp(trap.jump) != 0)
        return false;
    jpeg_create_decompress(&info);
    watch(info, trap);
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);
    for (int i = 0; i < info.num_components; ++i)
        found.push_back({info.comp_info[i].h_samp_factor, info.comp_info[i].v_samp_factor});
    return true;
}

// What the pixels are decoded under: the limits, and the colour components wanted (1 grey, 3
// colour; anything else keeps the image's own).
struct DecodeAsked
{
    DecodeLimits limits{};
    int components = 0;
};

// Decodes the pixels; false with `refusal` set when they would be larger than the limits allow.
bool decodePixels(jpeg_decompress_struct& info, Trap& trap, const unsigned char* data,
                  std::size_t size, const DecodeAsked& asked, Pixels& pixels, std::string& refusal)
{
    const DecodeLimits& limits = asked.limits;
    const int components = asked.components;
    if (setjmp(trap.jump) != 0)
        return false;
    jpeg_create_decompress(&info);
    watch(info, trap);
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);
    const int wanted = components == 1 || components == 3 ? components : info.num_components;
    const std::uint64_t bytes = std::uint64_t{info.image_width} * info.image_height *
                                static_cast<std::uint64_t>(std::max(wanted, info.num_components));
    if (bytes > limits.maxImageBytes || bytes >= limits.maxMemory) {
        refusal = "its " + std::to_string(bytes) + " bytes of pixels are more than " +
                  (bytes > limits.maxImageBytes
                       ? "the image limit of " + std::to_string(limits.maxImageBytes) +
                             " bytes (GLINTMARK_CHECK_IMAGE_MIB)"
                       : "the memory limit of " + std::to_string(limits.maxMemory) +
                             " bytes (GLINTMARK_CHECK_MEMORY_MIB)") +
                  " allows";
        return false;
    }
    // The pixels count towards the limit, so the decoder has what is left of it.
    info.mem->max_memory_to_use = memoryLimit(limits.maxMemory - bytes);
    // Grey stays grey and CMYK stays CMYK; everything else comes out as RGB.
    if (info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK)
        info.out_color_space = JCS_CMYK;
    else if (info.jpeg_color_space != JCS_GRAYSCALE)
        info.out_color_space = JCS_RGB;
    // Grey for colour or colour for grey, when asked.
    if (wanted != info.num_components)
        info.out_color_space = wanted == 1 ? JCS_GRAYSCALE : JCS_RGB;
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

// Where the encoder's bytes go: a string the caller owns, filled a chunk at a time. Nothing here
// is allocated by libjpeg, so a jump out of the encoder (a stop, an error) leaves nothing to free
// but what the string holds. (libjpeg's own memory destination moves its buffer as it grows and
// tells the caller only at the end, so after a jump the caller's pointer may be one it freed.)
struct StringDestination
{
    jpeg_destination_mgr manager; // first, so that libjpeg's pointer to it leads here
    std::string* bytes;
    JOCTET chunk[16384];
};

StringDestination& destinationOf(j_compress_ptr info)
{
    return *reinterpret_cast<StringDestination*>(info->dest);
}

void startChunk(j_compress_ptr info)
{
    StringDestination& destination = destinationOf(info);
    destination.manager.next_output_byte = destination.chunk;
    destination.manager.free_in_buffer = sizeof destination.chunk;
}

boolean takeFullChunk(j_compress_ptr info)
{
    StringDestination& destination = destinationOf(info);
    destination.bytes->append(reinterpret_cast<const char*>(destination.chunk),
                              sizeof destination.chunk);
    startChunk(info);
    return TRUE;
}

void takeLastChunk(j_compress_ptr info)
{
    StringDestination& destination = destinationOf(info);
    destination.bytes->append(reinterpret_cast<const char*>(destination.chunk),
                              sizeof destination.chunk - destination.manager.free_in_buffer);
}

bool encodePixels(jpeg_compress_struct& info, Trap& trap, const Pixels& pixels,
                  const EncodeSettings& settings, std::uint64_t memory,
                  StringDestination& destination)
{
    if (setjmp(trap.jump) != 0)
        return false;
    jpeg_create_compress(&info);
    watch(info, trap);
    info.mem->max_memory_to_use = memoryLimit(memory);
    destination.manager.init_destination = startChunk;
    destination.manager.empty_output_buffer = takeFullChunk;
    destination.manager.term_destination = takeLastChunk;
    info.dest = &destination.manager;
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
    const std::function<bool()> always;
    arm(trap, info, always);
    std::vector<Sampling> found;
    if (!readSampling(info, trap, data, size, found))
        found.clear();
    jpeg_destroy_decompress(&info);
    return found;
}

DecodedImage::DecodedImage(const unsigned char* data, std::size_t size,
                           std::function<bool()> keepGoing, int components)
    : m_limits(decodeLimits()), m_keepGoing(std::move(keepGoing))
{
    jpeg_decompress_struct info{};
    Trap trap{};
    arm(trap, info, m_keepGoing);
    std::string refusal;
    if (!decodePixels(info, trap, data, size, {m_limits, components}, m_pixels, refusal)) {
        m_error = refusal.empty() ? failureText(trap, m_limits, 0) : refusal;
        m_stopped = trap.stopped;
        m_pixels = Pixels{};
    }
    jpeg_destroy_decompress(&info);
}

DecodedImage::DecodedImage(Pixels pixels, std::function<bool()> keepGoing)
    : m_pixels(std::move(pixels)), m_limits(decodeLimits()), m_keepGoing(std::move(keepGoing))
{}

std::optional<std::string> DecodedImage::encode(const EncodeSettings& settings)
{
    jpeg_compress_struct info{};
    Trap trap{};
    arm(trap, info, m_keepGoing);
    std::string written;
    StringDestination destination{};
    destination.bytes = &written;
    const std::uint64_t pixels = m_pixels.bytes.size();
    const bool done =
        encodePixels(info, trap, m_pixels, settings,
                     m_limits.maxMemory > pixels ? m_limits.maxMemory - pixels : 0, destination);
    jpeg_destroy_compress(&info);
    if (done)
        return written;
    m_error = failureText(trap, m_limits, pixels);
    m_stopped = trap.stopped;
    return std::nullopt;
}

} // namespace glintmark::features
