#include "FeaturesTestSupport.h"

#include "engine/jpeg/JpegReader.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>

#include <jerror.h>
#include <jpeglib.h>

namespace glintmark::featurestest {

namespace fs = std::filesystem;

fs::path freshTestFolder()
{
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    std::replace(name.begin(), name.end(), '/', '_');
    const fs::path folder = fs::path(GLINTMARK_TEST_TMP) / name;
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

std::string readBytes(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    EXPECT_TRUE(in.is_open()) << "cannot open " << file;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeBytes(const fs::path& file, const std::string& bytes)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    ASSERT_TRUE(out.is_open()) << "cannot create " << file;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> entriesIn(const fs::path& folder)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        // On Windows a locked folder holds its lock file for as long as it is open.
        if (entry.path().filename() != ".glintmark.lock")
            names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string testJpeg(const std::string& name)
{
    return readBytes(fs::path(GLINTMARK_FEATURE_JPEGS) / (name + ".jpg"));
}

fs::path demoLdb()
{
    return fs::path(GLINTMARK_SOURCE_DIR) / "samples" / "demo.ldb";
}

namespace {

const nlohmann::json& demoImages()
{
    static const nlohmann::json images = nlohmann::json::parse(
        readBytes(fs::path(GLINTMARK_SOURCE_DIR) / "samples" / "demo.json"))["images"];
    return images;
}

} // namespace

std::uint64_t demoOffset(int number)
{
    return demoImages()[number - 1]["offset"];
}

std::uint64_t demoEnd(int number)
{
    return demoImages()[number - 1]["jpegSize"];
}

std::string demoImage(int number)
{
    return readBytes(demoLdb()).substr(demoOffset(number), demoEnd(number));
}

ImageInfo demoInfo(int number)
{
    const std::string level = readBytes(demoLdb());
    const std::uint64_t next =
        number < 11 ? demoOffset(number + 1) : static_cast<std::uint64_t>(level.size());
    return imageInfo(level.substr(demoOffset(number), next - demoOffset(number)),
                     static_cast<std::uint64_t>(number), demoOffset(number));
}

std::string flippedBitsImage()
{
    std::string image = demoImage(1);
    for (const auto& [at, bit] : {std::pair{9112, 0x40}, {10898, 0x10}, {14670, 0x02}})
        image[at] = static_cast<char>(image[at] ^ bit);
    return image;
}

std::string claimingImage(int number, unsigned width, unsigned height)
{
    std::string bytes = demoImage(number);
    std::size_t frame = bytes.find("\xFF\xC0");
    if (frame == std::string::npos)
        frame = bytes.find("\xFF\xC2");
    EXPECT_NE(frame, std::string::npos) << "image " << number << " has no frame header";
    const unsigned values[] = {height, width};
    for (int i = 0; i < 2; ++i) {
        bytes[frame + 5 + 2 * i] = static_cast<char>(values[i] >> 8);
        bytes[frame + 6 + 2 * i] = static_cast<char>(values[i] & 0xFF);
    }
    return bytes;
}

ImageInfo imageInfo(const std::string& bytes, std::uint64_t number, std::uint64_t offset)
{
    JpegReader reader;
    reader.feed(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    ImageInfo info;
    info.number = number;
    info.offset = offset;
    info.size = bytes.size();
    info.written = bytes.size();
    info.jpeg = reader.structure();
    return info;
}

std::vector<features::CheckedImage> imagesOf(const LevelBuilder& level)
{
    std::vector<features::CheckedImage> images;
    for (std::size_t i = 0; i < level.imageCount(); ++i) {
        features::CheckedImage image;
        static_cast<ImageInfo&>(image) = imageInfo(level.expectedFile(i), i + 1, level.offset(i));
        images.push_back(image);
    }
    return images;
}

namespace {

void setEnvironment(const char* name, const char* value)
{
#ifdef _WIN32
    _putenv_s(name, value ? value : "");
#else
    if (value)
        ::setenv(name, value, 1);
    else
        ::unsetenv(name);
#endif
}

} // namespace

ScopedEnvironment::ScopedEnvironment(const char* name, const char* value) : m_name(name)
{
    if (const char* saved = std::getenv(name))
        m_saved = saved;
    setEnvironment(name, value);
}

ScopedEnvironment::~ScopedEnvironment()
{
    setEnvironment(m_name.c_str(), m_saved ? m_saved->c_str() : nullptr);
}

namespace {

// The referee's libjpeg plumbing: errors jump back, warnings are counted, and the bytes come
// 4096 at a time with an end marker after the last, as libjpeg's own file source hands them.
struct RefereeTrap
{
    jpeg_error_mgr errors{};
    std::jmp_buf jump{};
    char message[JMSG_LENGTH_MAX] = {};
};

struct ChunkSource
{
    jpeg_source_mgr manager{};
    const std::string* bytes = nullptr;
    std::size_t at = 0;
};

[[noreturn]] void refereeFail(j_common_ptr info)
{
    auto* trap = reinterpret_cast<RefereeTrap*>(info->err);
    if (trap->message[0] == '\0')
        (*info->err->format_message)(info, trap->message);
    std::longjmp(trap->jump, 1);
}

void refereeMessage(j_common_ptr info, int level)
{
    auto* trap = reinterpret_cast<RefereeTrap*>(info->err);
    if (level < 0) {
        ++info->err->num_warnings;
        if (trap->message[0] == '\0')
            (*info->err->format_message)(info, trap->message);
    }
}

void noOp(j_decompress_ptr) {}

boolean fillChunk(j_decompress_ptr info)
{
    auto* source = reinterpret_cast<ChunkSource*>(info->src);
    static const JOCTET kEnd[] = {0xFF, JPEG_EOI};
    if (source->at >= source->bytes->size()) {
        WARNMS(info, JWRN_JPEG_EOF);
        info->src->next_input_byte = kEnd;
        info->src->bytes_in_buffer = 2;
        return TRUE;
    }
    const std::size_t count = std::min<std::size_t>(4096, source->bytes->size() - source->at);
    info->src->next_input_byte =
        reinterpret_cast<const JOCTET*>(source->bytes->data()) + source->at;
    info->src->bytes_in_buffer = count;
    source->at += count;
    return TRUE;
}

void skipChunk(j_decompress_ptr info, long count)
{
    while (count > static_cast<long>(info->src->bytes_in_buffer)) {
        count -= static_cast<long>(info->src->bytes_in_buffer);
        fillChunk(info);
    }
    if (count > 0) {
        info->src->next_input_byte += count;
        info->src->bytes_in_buffer -= static_cast<std::size_t>(count);
    }
}

bool sameTable(const JHUFF_TBL* a, const JHUFF_TBL* b)
{
    if (a == nullptr || b == nullptr)
        return a == b;
    int symbols = 0;
    for (int i = 1; i <= 16; ++i) {
        if (a->bits[i] != b->bits[i])
            return false;
        symbols += a->bits[i];
    }
    return std::memcmp(a->huffval, b->huffval, static_cast<std::size_t>(symbols)) == 0;
}

// The quality whose luminance table libjpeg makes equal to the one read; 0 for none. Also
// whether the Huffman tables read differ from the standard ones.
void compareWithStandardTables(const jpeg_decompress_struct& read, Referee& found)
{
    jpeg_compress_struct made{};
    jpeg_error_mgr errors{};
    made.err = jpeg_std_error(&errors);
    jpeg_create_compress(&made);
    made.in_color_space = JCS_RGB;
    made.input_components = 3;
    jpeg_set_defaults(&made);
    const JQUANT_TBL* table = read.quant_tbl_ptrs[0];
    // Baseline tables first (values held to 8 bits), as an encoder for baseline decoders makes.
    for (const bool baseline : {true, false}) {
        for (int quality = 1; table != nullptr && quality <= 100 && found.quality == 0; ++quality) {
            jpeg_set_quality(&made, quality, baseline ? TRUE : FALSE);
            if (std::memcmp(made.quant_tbl_ptrs[0]->quantval, table->quantval,
                            sizeof table->quantval) == 0)
                found.quality = quality;
        }
    }
    found.optimisedHuffman =
        !read.arith_code && (!sameTable(read.dc_huff_tbl_ptrs[0], made.dc_huff_tbl_ptrs[0]) ||
                             !sameTable(read.ac_huff_tbl_ptrs[0], made.ac_huff_tbl_ptrs[0]));
    jpeg_destroy_compress(&made);
}

// Only plain data lives in this frame, so leaving it by longjmp is safe.
bool refereeDecode(jpeg_decompress_struct& info, RefereeTrap& trap, ChunkSource& source,
                   int pixelColourSpace, Referee& found)
{
    if (setjmp(trap.jump) != 0)
        return false;
    jpeg_create_decompress(&info);
    info.src = &source.manager;
    jpeg_read_header(&info, TRUE);
    found.width = info.image_width;
    found.height = info.image_height;
    found.components = info.num_components;
    found.colourSpace = info.jpeg_color_space;
    found.progressive = info.progressive_mode != 0;
    found.arithmetic = info.arith_code != 0;
    for (int i = 0; i < info.num_components; ++i)
        found.sampling.emplace_back(info.comp_info[i].h_samp_factor,
                                    info.comp_info[i].v_samp_factor);
    compareWithStandardTables(info, found);
    if (pixelColourSpace != 0)
        info.out_color_space = static_cast<J_COLOR_SPACE>(pixelColourSpace);
    jpeg_start_decompress(&info);
    found.pixelComponents = info.output_components;
    found.pixelColourSpace = info.out_color_space;
    const std::size_t row = std::size_t{info.output_width} * info.output_components;
    found.pixels.resize(row * info.output_height);
    while (info.output_scanline < info.output_height) {
        JSAMPROW line = found.pixels.data() + row * info.output_scanline;
        jpeg_read_scanlines(&info, &line, 1);
    }
    jpeg_finish_decompress(&info);
    return true;
}

} // namespace

Referee referee(const std::string& jpeg, int pixelColourSpace)
{
    Referee found;
    jpeg_decompress_struct info{};
    RefereeTrap trap;
    info.err = jpeg_std_error(&trap.errors);
    trap.errors.error_exit = refereeFail;
    trap.errors.emit_message = refereeMessage;
    ChunkSource source;
    source.bytes = &jpeg;
    source.manager.init_source = noOp;
    source.manager.fill_input_buffer = fillChunk;
    source.manager.skip_input_data = skipChunk;
    source.manager.resync_to_restart = jpeg_resync_to_restart;
    source.manager.term_source = noOp;
    found.finished = refereeDecode(info, trap, source, pixelColourSpace, found);
    found.warnings = static_cast<int>(trap.errors.num_warnings);
    found.message = trap.message;
    jpeg_destroy_decompress(&info);
    return found;
}

std::string refereeEncode(const Referee& decoded, const RefereeEncoding& settings)
{
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &out, &size);
    info.image_width = decoded.width;
    info.image_height = decoded.height;
    info.input_components = decoded.pixelComponents;
    info.in_color_space = static_cast<J_COLOR_SPACE>(decoded.pixelColourSpace);
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, settings.quality, TRUE);
    info.arith_code = settings.arithmetic ? TRUE : FALSE;
    info.optimize_coding = settings.optimise && !settings.arithmetic ? TRUE : FALSE;
    if (static_cast<int>(settings.sampling.size()) == info.num_components) {
        for (int i = 0; i < info.num_components; ++i) {
            info.comp_info[i].h_samp_factor = settings.sampling[static_cast<std::size_t>(i)].first;
            info.comp_info[i].v_samp_factor = settings.sampling[static_cast<std::size_t>(i)].second;
        }
    }
    if (settings.progressive)
        jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    const std::size_t row = std::size_t{decoded.width} * decoded.pixelComponents;
    while (info.next_scanline < info.image_height) {
        auto* line = const_cast<JSAMPROW>(decoded.pixels.data() + row * info.next_scanline);
        jpeg_write_scanlines(&info, &line, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::string bytes(reinterpret_cast<const char*>(out), size);
    std::free(out);
    return bytes;
}

std::string reencoded(const std::string& jpeg, int quality, bool progressive)
{
    RefereeEncoding settings;
    settings.quality = quality;
    settings.progressive = progressive;
    return refereeEncode(referee(jpeg), settings);
}

std::string noiseJpeg(unsigned width, unsigned height)
{
    std::mt19937 random(7);
    Referee noise;
    noise.width = width;
    noise.height = height;
    noise.pixelComponents = 3;
    noise.pixelColourSpace = JCS_RGB;
    noise.pixels.resize(std::size_t{width} * height * 3);
    for (unsigned char& value : noise.pixels)
        value = static_cast<unsigned char>(random());
    RefereeEncoding settings;
    settings.quality = 100;
    settings.optimise = false;
    return refereeEncode(noise, settings);
}

std::string generatedLevel()
{
    LevelBuilder level(11, {0xFF, 4093});
    level.filler(1000);
    for (int number = 1; number <= 11; ++number) {
        if (number == 1 || number == 7) // across the first and second mebibyte
            level.fillerUpTo((std::size_t{1} << 20) * (number == 1 ? 1 : 2) - 900);
        level.image(demoImage(number)).filler(300);
    }
    return level.bytes();
}

NewLevel replacedLevel()
{
    NewLevel level;
    level.source = generatedLevel();
    level.written = level.source;
    std::uint64_t at = 0;
    for (int number = 1; number <= 11; ++number) {
        const std::string original = demoImage(number);
        at = level.source.find(original, at);
        const std::string edited = reencoded(original, 25);
        if (imageInfo(original).jpeg.coding != JpegCoding::Baseline ||
            edited.size() > original.size())
            continue;
        level.written.replace(at, original.size(),
                              edited + std::string(original.size() - edited.size(), '\0'));
        level.replaced.push_back(features::Replacement{static_cast<std::uint64_t>(number),
                                                       {},
                                                       at,
                                                       original.size(),
                                                       edited,
                                                       {},
                                                       false,
                                                       edited.size()});
    }
    return level;
}

} // namespace glintmark::featurestest
