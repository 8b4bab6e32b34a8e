#include "features/check/JpegDecode.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

#include <jerror.h>
#include <jpeglib.h>

namespace glintmark::features {
namespace {

// A file source hands the decoder this many bytes at a time; feeding it the same blocks keeps
// its verdict the same as for a file (with the whole image at once it takes a faster path that
// mends a bad Huffman code without a word).
constexpr std::size_t kWindow = 4096;
// Bytes read from the image at a time, handed on a window at a time.
constexpr std::size_t kStaging = std::size_t{64} << 10;
constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;

// Everything one decoding needs; the decoder's callbacks find it through client_data.
struct Decoder
{
    jpeg_error_mgr errors{};
    jpeg_source_mgr source{};
    jpeg_progress_mgr progress{};
    std::jmp_buf jump{};
    char firstMessage[JMSG_LENGTH_MAX] = {};

    const ImageBytesReader* read = nullptr;
    std::uint64_t length = 0;
    std::uint64_t position = 0; // next byte of the image to stage
    std::unique_ptr<unsigned char[]> staging;
    std::size_t staged = 0;
    std::size_t handedOut = 0;
    bool startOfFile = true;
    const DecodeLimits* limits = nullptr;
    const std::atomic<bool>* stop = nullptr;
    const std::function<bool()>* keepGoing = nullptr; // asked too, where it is set

    // The decoder's own allocators, wrapped so that everything they hand out is counted.
    jpeg_memory_mgr original{};
    std::uint64_t allocated = 0;

    DecodeResult* result = nullptr;
};

Decoder& decoderOf(j_common_ptr info)
{
    return *static_cast<Decoder*>(info->client_data);
}

// Leaves the decoding for good; nothing with a destructor may be alive in the calling frames.
[[noreturn]] void leave(Decoder& decoder)
{
    std::longjmp(decoder.jump, 1);
}

std::string memoryLimitText(const DecodeLimits& limits)
{
    return "the memory limit of " + std::to_string(limits.maxMemory) +
           " bytes (GLINTMARK_CHECK_MEMORY_MIB";
}

std::string neededMiB(std::uint64_t bytes)
{
    return ", at least " + std::to_string((bytes + kMiB - 1) / kMiB) + " to decode it)";
}

void keepFirstMessage(j_common_ptr info)
{
    Decoder& decoder = decoderOf(info);
    if (decoder.firstMessage[0] == '\0')
        (*info->err->format_message)(info, decoder.firstMessage);
}

// Records an image over the memory limit; returns before leaving, so the text is complete.
void noteOverMemory(Decoder& decoder, std::uint64_t wanted)
{
    decoder.result->overLimit = true;
    if (wanted == 0) {
        decoder.result->message =
            "Not decoded: the decoder needed more than " + memoryLimitText(*decoder.limits) + ")";
        return;
    }
    const std::uint64_t total = decoder.allocated + wanted;
    decoder.result->message = "Not decoded: the decoder asked for " + std::to_string(wanted) +
                              " bytes more with " + std::to_string(decoder.allocated) +
                              " in use, " + std::to_string(total - decoder.limits->maxMemory) +
                              " over " + memoryLimitText(*decoder.limits) + neededMiB(total);
}

[[noreturn]] void failDecode(j_common_ptr info)
{
    Decoder& decoder = decoderOf(info);
    // Large arrays beyond the memory limit would go to a backing store, which there is none of.
    if (info->err->msg_code == JERR_NO_BACKING_STORE)
        noteOverMemory(decoder, 0);
    else
        keepFirstMessage(info);
    leave(decoder);
}

void noteMessage(j_common_ptr info, int level)
{
    if (level < 0) { // a warning: the data is damaged but decoding goes on
        ++info->err->num_warnings;
        keepFirstMessage(info);
    }
}

void checkStop(j_common_ptr info)
{
    Decoder& decoder = decoderOf(info);
    if ((decoder.stop != nullptr && decoder.stop->load(std::memory_order_relaxed)) ||
        (decoder.keepGoing != nullptr && *decoder.keepGoing && !(*decoder.keepGoing)())) {
        decoder.result->stopped = true;
        leave(decoder);
    }
}

void charge(j_common_ptr info, std::uint64_t bytes)
{
    Decoder& decoder = decoderOf(info);
    if (decoder.allocated + bytes > decoder.limits->maxMemory) {
        noteOverMemory(decoder, bytes);
        leave(decoder);
    }
    decoder.allocated += bytes;
}

void* allocSmall(j_common_ptr info, int pool, std::size_t size)
{
    charge(info, size);
    return decoderOf(info).original.alloc_small(info, pool, size);
}

void* allocLarge(j_common_ptr info, int pool, std::size_t size)
{
    charge(info, size);
    return decoderOf(info).original.alloc_large(info, pool, size);
}

JSAMPARRAY allocSampleRows(j_common_ptr info, int pool, JDIMENSION perRow, JDIMENSION rows)
{
    charge(info, std::uint64_t{rows} * (perRow * sizeof(JSAMPLE) + sizeof(JSAMPROW)));
    return decoderOf(info).original.alloc_sarray(info, pool, perRow, rows);
}

JBLOCKARRAY allocBlockRows(j_common_ptr info, int pool, JDIMENSION perRow, JDIMENSION rows)
{
    charge(info, std::uint64_t{rows} * (perRow * sizeof(JBLOCK) + sizeof(JBLOCKROW)));
    return decoderOf(info).original.alloc_barray(info, pool, perRow, rows);
}

void initSource(j_decompress_ptr) {}
void termSource(j_decompress_ptr) {}

// Hands the decoder its next window, reading the next block of the image when the last is used
// up. Past the image's end it gets an end marker and a warning, as from a file that ends early.
boolean fillInput(j_decompress_ptr info)
{
    Decoder& decoder = decoderOf(reinterpret_cast<j_common_ptr>(info));
    checkStop(reinterpret_cast<j_common_ptr>(info));
    if (decoder.handedOut == decoder.staged) {
        const auto wanted = static_cast<std::size_t>(
            std::min<std::uint64_t>(kStaging, decoder.length - decoder.position));
        std::error_code ec;
        decoder.staged =
            wanted == 0 ? 0 : (*decoder.read)(decoder.position, decoder.staging.get(), wanted, ec);
        decoder.handedOut = 0;
        decoder.position += decoder.staged;
        if (ec || decoder.staged != wanted) {
            decoder.result->readFailed = true;
            decoder.result->readError = ec;
            leave(decoder);
        }
    }
    if (decoder.staged == 0) {
        if (decoder.startOfFile)
            ERREXIT(info, JERR_INPUT_EMPTY);
        WARNMS(info, JWRN_JPEG_EOF);
        static const JOCTET kEnd[] = {0xFF, JPEG_EOI};
        info->src->next_input_byte = kEnd;
        info->src->bytes_in_buffer = sizeof kEnd;
        return TRUE;
    }
    const std::size_t window = std::min(kWindow, decoder.staged - decoder.handedOut);
    info->src->next_input_byte = decoder.staging.get() + decoder.handedOut;
    info->src->bytes_in_buffer = window;
    decoder.handedOut += window;
    decoder.startOfFile = false;
    return TRUE;
}

void skipInput(j_decompress_ptr info, long count)
{
    if (count <= 0)
        return;
    auto skip = static_cast<std::size_t>(count);
    while (skip > info->src->bytes_in_buffer) {
        skip -= info->src->bytes_in_buffer;
        fillInput(info);
    }
    info->src->next_input_byte += skip;
    info->src->bytes_in_buffer -= skip;
}

// Refuses an image whose declared size, or whose coefficients held for several scans, would
// go beyond the limits; returns before leaving, so the text is complete.
bool overDeclaredLimits(jpeg_decompress_struct& info, Decoder& decoder)
{
    const DecodeLimits& limits = *decoder.limits;
    const std::uint64_t bytes = std::uint64_t{info.image_width} * info.image_height *
                                static_cast<std::uint64_t>(info.num_components);
    DecodeResult& result = *decoder.result;
    if (bytes > limits.maxImageBytes) {
        result.message = "Not decoded: it claims " + std::to_string(info.image_width) + "x" +
                         std::to_string(info.image_height) + " pixels of " +
                         std::to_string(info.num_components) + " components, " +
                         std::to_string(bytes) + " bytes decoded, " +
                         std::to_string(bytes - limits.maxImageBytes) +
                         " over the image limit of " + std::to_string(limits.maxImageBytes) +
                         " bytes (GLINTMARK_CHECK_IMAGE_MIB" + neededMiB(bytes);
        result.overLimit = true;
        return true;
    }
    if (!jpeg_has_multiple_scans(&info))
        return false;
    std::uint64_t coefficients = 0;
    for (int i = 0; i < info.num_components; ++i) {
        const jpeg_component_info& part = info.comp_info[i];
        const auto round = [](std::uint64_t n, int to) { return (n + to - 1) / to * to; };
        coefficients += round(part.width_in_blocks, part.h_samp_factor) *
                        round(part.height_in_blocks, part.v_samp_factor) * sizeof(JBLOCK);
    }
    if (coefficients <= limits.maxMemory)
        return false;
    result.message = "Not decoded: its scans need " + std::to_string(coefficients) +
                     " bytes of coefficients held at once, " +
                     std::to_string(coefficients - limits.maxMemory) + " over " +
                     memoryLimitText(limits) + neededMiB(coefficients);
    result.overLimit = true;
    return true;
}

// Runs the decoder; only plain data lives in this frame, so leaving it by longjmp is safe.
bool decodeAll(jpeg_decompress_struct& info, Decoder& decoder, DecodeResult& result)
{
    if (setjmp(decoder.jump) != 0)
        return false;
    jpeg_create_decompress(&info);
    info.client_data = &decoder;
    decoder.original = *info.mem;
    info.mem->alloc_small = allocSmall;
    info.mem->alloc_large = allocLarge;
    info.mem->alloc_sarray = allocSampleRows;
    info.mem->alloc_barray = allocBlockRows;
    // long is 32 bits on Windows; a larger limit is as good as none for the decoder's own check,
    // and the count of every allocation still holds.
    info.mem->max_memory_to_use = static_cast<long>(
        std::min<std::uint64_t>(decoder.limits->maxMemory, std::numeric_limits<long>::max()));
    info.src = &decoder.source;
    info.progress = &decoder.progress;
    jpeg_read_header(&info, TRUE);
    if (overDeclaredLimits(info, decoder))
        return false;
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

std::uint64_t mibFromEnvironment(const char* name, std::uint64_t fallback)
{
    const char* text = std::getenv(name);
    if (text == nullptr)
        return fallback;
    char* end = nullptr;
    const unsigned long long mib = std::strtoull(text, &end, 10);
    if (end == text || *end != '\0' || mib < 1 || mib > (1u << 20))
        return fallback;
    return mib * kMiB;
}

DecodeResult decodeGuarded(const ImageBytesReader& read, std::uint64_t length,
                           const DecodeLimits& limits, const std::atomic<bool>* stop,
                           const std::function<bool()>* keepGoing)
{
    DecodeResult result;
    jpeg_decompress_struct info{};
    Decoder decoder;
    decoder.read = &read;
    decoder.length = length;
    decoder.staging = std::make_unique<unsigned char[]>(kStaging);
    decoder.limits = &limits;
    decoder.stop = stop;
    decoder.keepGoing = keepGoing;
    decoder.result = &result;
    info.err = jpeg_std_error(&decoder.errors);
    decoder.errors.error_exit = failDecode;
    decoder.errors.emit_message = noteMessage;
    decoder.source.init_source = initSource;
    decoder.source.fill_input_buffer = fillInput;
    decoder.source.skip_input_data = skipInput;
    decoder.source.resync_to_restart = jpeg_resync_to_restart;
    decoder.source.term_source = termSource;
    decoder.progress.progress_monitor = checkStop;

    result.finished = decodeAll(info, decoder, result);
    result.warnings = static_cast<int>(decoder.errors.num_warnings);
    if (!result.overLimit)
        result.message = decoder.firstMessage;
    jpeg_destroy_decompress(&info);
    return result;
}

} // namespace

DecodeLimits decodeLimits()
{
    DecodeLimits limits;
    limits.maxImageBytes = mibFromEnvironment("GLINTMARK_CHECK_IMAGE_MIB", limits.maxImageBytes);
    limits.maxMemory = mibFromEnvironment("GLINTMARK_CHECK_MEMORY_MIB", limits.maxMemory);
    return limits;
}

DecodeResult decodeJpeg(const ImageBytesReader& read, std::uint64_t length,
                        const DecodeLimits& limits, const std::atomic<bool>* stop)
{
    return decodeGuarded(read, length, limits, stop, nullptr);
}

DecodeResult decodeJpeg(const unsigned char* data, std::size_t size,
                        const std::function<bool()>& keepGoing)
{
    const ImageBytesReader fromMemory = [data, size](std::uint64_t position, unsigned char* buffer,
                                                     std::size_t count, std::error_code&) {
        const auto from = static_cast<std::size_t>(std::min<std::uint64_t>(position, size));
        const std::size_t taken = std::min(count, size - from);
        if (taken > 0)
            std::memcpy(buffer, data + from, taken);
        return taken;
    };
    const DecodeLimits limits = decodeLimits();
    return decodeGuarded(fromMemory, size, limits, nullptr, &keepGoing);
}

} // namespace glintmark::features
