#include "features/putback/ReplacementPlan.h"

#include "engine/io/PathText.h"
#include "engine/io/RawDir.h"
#include "engine/jpeg/JpegReader.h"
#include "engine/jpeg/SignatureScanner.h"
#include "engine/names/ImageNames.h"
#include "features/check/JpegDecode.h"
#include "features/putback/JpegEncode.h"
#include "features/putback/PngDecode.h"

#include <algorithm>
#include <functional>
#include <iterator>
#include <limits>
#include <string_view>
#include <utility>

namespace glintmark::features {
namespace {

namespace fs = std::filesystem;

// The lowest quality --fit goes down to, and where it starts.
constexpr int kLowestQuality = 30;
constexpr int kHighestQuality = 95;
// No texture is larger; a file that is cannot be meant as one and is not read into memory.
constexpr std::uint64_t kLargestImageFile = std::uint64_t{256} << 20;

// A JFIF APP0 segment of version 1.01 without a thumbnail: aspect ratio 1:1, no units.
constexpr unsigned char kJfifSegment[] = {0xFF, 0xE0, 0x00, 0x10, 'J',  'F',  'I',  'F',  0x00,
                                          0x01, 0x01, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00};

JpegStructure structureOf(const std::string& bytes)
{
    JpegReader reader;
    reader.feed(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    return reader.structure();
}

const unsigned char* data(const std::string& bytes)
{
    return reinterpret_cast<const unsigned char*>(bytes.data());
}

std::string dimensions(const JpegStructure& jpeg)
{
    return std::to_string(jpeg.width) + "\u00d7" + std::to_string(jpeg.height);
}

std::string codingText(const JpegStructure& jpeg)
{
    std::string text = codingName(jpeg.coding);
    if (jpeg.arithmetic)
        text += " arithmetic-coded";
    return text;
}

// Whether a decoder that reads the original reads an image coded as `edited`: the same coding,
// or a baseline image where the original is extended (baseline is its simplest case).
bool codingAccepted(const JpegStructure& original, const JpegStructure& edited)
{
    if (original.arithmetic != edited.arithmetic || original.precision != edited.precision)
        return false;
    return edited.coding == original.coding ||
           (original.coding == JpegCoding::Extended && edited.coding == JpegCoding::Baseline);
}

// The image with a JFIF segment put in front when it does not begin with the signature.
std::string withJfifFirst(std::string bytes, bool& added)
{
    added = bytes.compare(0, kJfifSignature.size(), kJfifSignature) != 0;
    if (!added)
        return bytes;
    std::string withSegment = bytes.substr(0, 2);
    withSegment.append(reinterpret_cast<const char*>(kJfifSegment), sizeof kJfifSegment);
    withSegment.append(bytes, 2, std::string::npos);
    return withSegment;
}

// Where the signature stands again inside the image, if it does: such an image would be read as
// two textures, and every number behind it would move.
std::optional<std::size_t> innerSignature(const std::string& bytes)
{
    const std::size_t at = bytes.find(kJfifSignature, 1);
    return at == std::string::npos ? std::nullopt : std::optional<std::size_t>(at);
}

std::string holds(const ImageInfo& original)
{
    return "the " + groupedNumber(*original.jpeg.end) + " bytes image " +
           std::to_string(original.number) + " holds";
}

// Why the original cannot be encoded by `by` (its coding or sample size are none libjpeg writes
// here), if it cannot.
std::optional<std::string> notEncodable(const ImageInfo& original, const char* by)
{
    const JpegStructure& want = original.jpeg;
    if (want.coding != JpegCoding::Lossless && want.precision == 8)
        return std::nullopt;
    return "image " + std::to_string(original.number) + " is " + codingText(want) + " with " +
           std::to_string(want.precision) + "-bit samples, which " + by + " cannot encode";
}

// Encodes `pixels` in the original's coding and sampling, at the highest quality that fits; the
// reason when none does.
std::variant<Replacement, std::string> encodeToFit(DecodedImage& pixels, const ImageInfo& original,
                                                   const std::string& originalBytes)
{
    const JpegStructure& want = original.jpeg;
    EncodeSettings settings;
    settings.coding = want.coding == JpegCoding::Extended ? JpegCoding::Baseline : want.coding;
    settings.arithmetic = want.arithmetic;
    settings.sampling = frameSampling(data(originalBytes), originalBytes.size());

    Replacement best;
    std::uint64_t smallest = 0;
    const auto tryQuality = [&](int quality) {
        settings.quality = quality;
        std::optional<std::string> bytes = pixels.encode(settings);
        if (!bytes)
            return false;
        bool added = false;
        std::string encoded = withJfifFirst(std::move(*bytes), added);
        smallest = encoded.size();
        if (encoded.size() > *want.end || innerSignature(encoded))
            return false;
        best.bytes = std::move(encoded);
        best.quality = quality;
        best.jfifAdded = added;
        return true;
    };
    // Size falls as quality falls, so the highest quality that fits is found by halving.
    if (!tryQuality(kHighestQuality)) {
        if (!tryQuality(kLowestQuality)) {
            if (!pixels.ok())
                return "cannot be encoded again: " + pixels.error();
            return "does not fit in " + holds(original) + " even at quality " +
                   std::to_string(kLowestQuality) + " (" + groupedNumber(smallest) + " bytes)";
        }
        int fits = kLowestQuality;
        int tooLarge = kHighestQuality;
        while (tooLarge - fits > 1 && !pixels.stopped()) {
            const int middle = (fits + tooLarge) / 2;
            (tryQuality(middle) ? fits : tooLarge) = middle;
        }
    }
    return best;
}

// Encodes the edited image again in the original's coding and sampling, at the highest quality
// that fits; the reason when none does.
std::variant<Replacement, std::string> fitInto(std::string edited, const ImageInfo& original,
                                               const std::string& originalBytes,
                                               const std::function<bool()>& keepGoing)
{
    if (auto reason = notEncodable(original, "--fit"))
        return std::move(*reason);
    DecodedImage pixels(data(std::as_const(edited)), edited.size(), keepGoing,
                        original.jpeg.components);
    std::string().swap(edited); // only the pixels are needed from here on
    if (!pixels.ok())
        return "does not decode: " + pixels.error();
    return encodeToFit(pixels, original, originalBytes);
}

// Why an image of `mine` colour components cannot take the place of one of `want`, if it cannot:
// grey for colour and colour for grey are converted with `fit`; other counts (CMYK) never are.
std::optional<std::string> componentsRefused(int mine, int want, bool fit,
                                             const std::string& number)
{
    if (mine == want)
        return std::nullopt;
    const auto greyOrColour = [](int components) { return components == 1 || components == 3; };
    const bool convertible = greyOrColour(mine) && greyOrColour(want);
    if (fit && convertible)
        return std::nullopt;
    return "has " + std::to_string(mine) + " colour components, image " + number + " has " +
           std::to_string(want) +
           (convertible ? std::string("; --fit would convert it to ") +
                              (want == 1 ? "grey" : "colour") + " and re-encode it"
                        : std::string());
}

std::string noEndMarker(const ImageInfo& original)
{
    return "differs from image " + std::to_string(original.number) +
           ", which has no end marker before the next texture (" +
           statusName(jpegStatus(original.jpeg, original.size)) + "), so it cannot be replaced";
}

std::string dimensions(unsigned width, unsigned height)
{
    return std::to_string(width) + "\u00d7" + std::to_string(height);
}

// A 64-bit FNV-1a checksum: enough to know a replacement's bytes again when they are made anew.
std::uint64_t checksum(const std::string& bytes)
{
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

// The replacement with its length and checksum taken from its bytes.
Replacement sealed(Replacement replacement)
{
    replacement.length = replacement.bytes.size();
    replacement.digest = checksum(replacement.bytes);
    return replacement;
}

} // namespace

std::variant<Unchanged, Replacement, std::string>
judgeReplacement(std::string edited, const ImageInfo& original, const std::string& originalBytes,
                 bool fit, const std::function<bool()>& keepGoing)
{
    const JpegStructure mine = structureOf(edited);
    // What follows the end marker is no part of the image; it is cut off in place, as an image
    // may be as large as a texture can be.
    const std::uint64_t size = edited.size();
    if (mine.end)
        edited.resize(static_cast<std::size_t>(*mine.end));
    const std::string& through = edited;
    if (through == originalBytes)
        return Unchanged{};

    const std::string number = std::to_string(original.number);
    const JpegStructure& want = original.jpeg;
    if (!want.end)
        return noEndMarker(original);
    if (!mine.end) {
        if (mine.problem == JpegProblem::CutInScan || mine.problem == JpegProblem::CutInSegment)
            return "is not a whole JPEG: it ends at byte " + std::to_string(size) +
                   ", before its end marker";
        return std::string("is not a whole JPEG: ") + problemText(mine.problem) + " at byte " +
               std::to_string(mine.problemAt);
    }
    // The frame headers tell the shape: an image of another is refused before it is decoded.
    if (mine.width != want.width || mine.height != want.height)
        return "is " + dimensions(mine) + ", image " + number + " is " + dimensions(want);
    const bool otherComponents = mine.components != want.components;
    if (auto reason = componentsRefused(mine.components, want.components, fit, number))
        return std::move(*reason);
    const DecodeResult decoded = decodeJpeg(data(through), through.size(), keepGoing);
    if (!decoded.decodes())
        return "does not decode: " + decoded.message;

    Replacement replacement;
    replacement.number = original.number;
    replacement.offset = original.offset;
    replacement.end = *want.end;
    const bool codingFits = codingAccepted(want, mine) && !otherComponents;
    if (!codingFits && !fit)
        return "is " + codingText(mine) + ", image " + number + " is " + codingText(want) +
               "; --fit would re-encode it";
    std::optional<std::size_t> inner;
    if (codingFits) {
        replacement.bytes = withJfifFirst(through, replacement.jfifAdded);
        inner = innerSignature(replacement.bytes);
        if (!inner && replacement.bytes.size() <= replacement.end)
            return sealed(std::move(replacement));
    }
    if (!fit) {
        if (inner)
            return "holds the JFIF signature again at byte " + std::to_string(*inner) +
                   ", so it would be read as two textures; --fit would re-encode it";
        const std::uint64_t over = replacement.bytes.size() - replacement.end;
        return "is " + groupedNumber(over) + (over == 1 ? " byte" : " bytes") + " larger than " +
               holds(original) + "; --fit would re-encode it";
    }
    std::string().swap(replacement.bytes);
    auto fitted = fitInto(std::move(edited), original, originalBytes, keepGoing);
    if (auto* reason = std::get_if<std::string>(&fitted))
        return std::move(*reason);
    Replacement& encoded = std::get<Replacement>(fitted);
    replacement.bytes = std::move(encoded.bytes);
    replacement.quality = encoded.quality;
    replacement.jfifAdded = encoded.jfifAdded;
    return sealed(std::move(replacement));
}

std::variant<Replacement, std::string> judgePngEdit(std::string png, const ImageInfo& original,
                                                    const std::string& originalBytes, bool fit,
                                                    const std::function<bool()>& keepGoing)
{
    const JpegStructure& want = original.jpeg;
    if (!want.end)
        return noEndMarker(original);
    const std::string number = std::to_string(original.number);
    const PngHeader header = readPngHeader(data(std::as_const(png)), png.size());
    if (!header.ok)
        return "does not decode as PNG: " + header.error;
    if (header.width != want.width || header.height != want.height)
        return "is " + dimensions(header.width, header.height) + ", image " + number + " is " +
               dimensions(want);
    if (auto reason = componentsRefused(header.components, want.components, fit, number))
        return std::move(*reason);
    if (auto reason = notEncodable(original, "a PNG edit"))
        return std::move(*reason);
    PngDecoded decoded =
        decodePng(data(std::as_const(png)), png.size(), decodeLimits(), keepGoing, want.components);
    if (decoded.transparent)
        return std::string("has transparent pixels; a texture holds none: flatten it onto a "
                           "background and save it again");
    if (!decoded.error.empty())
        return "does not decode as PNG: " + decoded.error;
    std::string().swap(png); // only the pixels are needed from here on
    DecodedImage pixels(std::move(decoded.pixels), keepGoing);
    auto fitted = encodeToFit(pixels, original, originalBytes);
    if (auto* reason = std::get_if<std::string>(&fitted))
        return std::move(*reason);
    Replacement& replacement = std::get<Replacement>(fitted);
    replacement.number = original.number;
    replacement.offset = original.offset;
    replacement.end = *want.end;
    return sealed(std::move(replacement));
}

namespace {

// Reads a whole edited image through the opened folder, so the bytes judged and written are the
// bytes of the file found there; the reason when it is not a file to read.
std::variant<std::string, std::string> readEdited(const RawDir& folder, const fs::path& dir,
                                                  const fs::path& name, ExtractError& failure)
{
    std::error_code ec;
    const RawFile file = folder.openForReading(name, ec);
    if (ec == std::errc::invalid_argument)
        return std::variant<std::string, std::string>(std::in_place_index<1>,
                                                      "is not a regular file");
    FileIdentity entry;
    if (!ec)
        entry = file.identity(ec);
    if (!ec && entry.size > kLargestImageFile)
        return std::variant<std::string, std::string>(std::in_place_index<1>,
                                                      "is " + groupedNumber(entry.size) +
                                                          " bytes, more than any texture can be");
    std::string bytes;
    if (!ec) {
        bytes.resize(static_cast<std::size_t>(entry.size));
        bytes.resize(file.readFully(bytes.data(), bytes.size(), ec));
    }
    if (ec)
        failure = makeError(ErrorKind::SourceRead, dir / name, "Cannot read the edited image", ec);
    return std::variant<std::string, std::string>(std::in_place_index<0>, std::move(bytes));
}

} // namespace

bool nearImageName(const fs::path& name)
{
    const std::string text = displayPath(name);
    const std::string_view stem = kImageStem;
    if (text.size() <= stem.size())
        return false;
    const auto lower = [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    };
    for (std::size_t i = 0; i < stem.size(); ++i) {
        if (lower(text[i]) != lower(stem[i]))
            return false;
    }
    std::size_t at = stem.size();
    const std::size_t firstDigit = at;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9')
        ++at;
    if (at == firstDigit)
        return false;
    std::string extension = text.substr(at);
    std::transform(extension.begin(), extension.end(), extension.begin(), lower);
    if (extension != ".jpg" && extension != ".jpeg")
        return false;
    return !imageNumber(name, fs::path(std::string(stem)), kImageExt);
}

namespace {

char lowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The extensions of the image files an editor may save, and which of them are a JPEG's.
constexpr std::string_view kJpegExtensions[] = {".jpg", ".jpeg", ".jpe", ".jfif"};
constexpr std::string_view kOtherImageExtensions[] = {".png", ".bmp",  ".gif",  ".tga",
                                                      ".tif", ".tiff", ".webp", ".dds"};

// The number of the first image name (the stem, in any letter case, and at least one digit)
// that `text` carries, saturated at the largest number held.
std::optional<std::uint64_t> carriedNumber(const std::string& text)
{
    const std::string_view stem = kImageStem;
    for (std::size_t from = 0; from + stem.size() < text.size(); ++from) {
        std::size_t i = 0;
        while (i < stem.size() && lowerAscii(text[from + i]) == lowerAscii(stem[i]))
            ++i;
        std::size_t at = from + stem.size();
        if (i < stem.size() || text[at] < '0' || text[at] > '9')
            continue;
        std::uint64_t number = 0;
        constexpr std::uint64_t kMost = std::numeric_limits<std::uint64_t>::max();
        for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
            const auto digit = static_cast<std::uint64_t>(text[at] - '0');
            number = number > (kMost - digit) / 10 ? kMost : number * 10 + digit;
        }
        return number;
    }
    return std::nullopt;
}

} // namespace

std::variant<Unchanged, Replacement, std::string>
judgeEdit(const fs::path& name, std::string edited, const ImageInfo& original,
          const std::string& originalBytes, bool fit, const std::function<bool()>& keepGoing)
{
    if (!savedAsPng(name))
        return judgeReplacement(std::move(edited), original, originalBytes, fit, keepGoing);
    auto png = judgePngEdit(std::move(edited), original, originalBytes, fit, keepGoing);
    if (auto* reason = std::get_if<std::string>(&png))
        return std::move(*reason);
    return std::move(std::get<Replacement>(png));
}

bool savedAsPng(const fs::path& name)
{
    const std::string text = displayPath(name.filename());
    constexpr std::string_view kPng = ".png";
    if (text.size() <= kPng.size())
        return false;
    const std::size_t dot = text.size() - kPng.size();
    for (std::size_t i = 0; i < kPng.size(); ++i) {
        if (lowerAscii(text[dot + i]) != kPng[i])
            return false;
    }
    return true;
}

std::optional<std::uint64_t> pngEditNumber(const fs::path& name)
{
    const std::string text = displayPath(name);
    constexpr std::string_view kPng = ".png";
    if (text.size() <= kPng.size())
        return std::nullopt;
    const std::size_t dot = text.size() - kPng.size();
    for (std::size_t i = 0; i < kPng.size(); ++i) {
        if (lowerAscii(text[dot + i]) != kPng[i])
            return std::nullopt;
    }
    return imageNumber(fs::path(text.substr(0, dot) + std::string(kPng)),
                       fs::path(std::string(kImageStem)), kPng);
}

std::optional<NearMiss> nearMiss(const fs::path& name)
{
    const std::string text = displayPath(name);
    const std::size_t dot = text.rfind('.');
    if (text.empty() || text.front() == '.' || dot == std::string::npos)
        return std::nullopt;
    std::string extension = text.substr(dot);
    std::transform(extension.begin(), extension.end(), extension.begin(), lowerAscii);
    NearMiss miss;
    miss.jpegName = std::find(std::begin(kJpegExtensions), std::end(kJpegExtensions), extension) !=
                    std::end(kJpegExtensions);
    if (!miss.jpegName &&
        std::find(std::begin(kOtherImageExtensions), std::end(kOtherImageExtensions), extension) ==
            std::end(kOtherImageExtensions))
        return std::nullopt;
    if (imageNumber(name, fs::path(std::string(kImageStem)), kImageExt) || pngEditNumber(name))
        return std::nullopt;
    miss.pngName = extension == ".png";
    miss.name = name;
    miss.number = carriedNumber(text.substr(0, dot));
    return miss;
}

std::string nearMissReason(const NearMiss& miss, std::uint64_t imageCount, bool ownFile,
                           bool ownPng)
{
    const fs::path stem(std::string{kImageStem});
    if (!miss.number)
        return "is an image file named as no texture is, so it is not read; name it as the "
               "texture it replaces is named (" +
               displayPath(imageFileName(stem, 1, kImageExt)) + ", ...)";
    const std::string number = std::to_string(*miss.number);
    if (*miss.number == 0 || *miss.number > imageCount)
        return "is named almost as image " + number + ", but " +
               (imageCount == 0
                    ? std::string("the level holds no texture")
                    : "the level's textures are numbered 1 to " + std::to_string(imageCount)) +
               ", so it is not read";
    const std::string jpeg = displayPath(imageFileName(stem, *miss.number, kImageExt));
    const std::string png = displayPath(imageFileName(stem, *miss.number, ".png"));
    // A JPEG or a PNG is renamed; any other image is saved again as a JPEG.
    const std::string advice = miss.pngName    ? "rename it " + png
                               : miss.jpegName ? "rename it " + jpeg
                                               : "save it as a JPEG named " + jpeg;
    if (ownFile)
        return "is named almost as image " + number + ", whose own file " + (ownPng ? png : jpeg) +
               " is the one read; if this is the edit, " + advice + " in that file's place";
    return "is named almost as image " + number + ", so it is not read; to put it back, " + advice;
}

bool EditedFolder::has(std::uint64_t number) const
{
    return std::binary_search(numbers.begin(), numbers.end(), number);
}

std::vector<fs::path> EditedFolder::filesOf(std::uint64_t number) const
{
    const auto found = files.find(number);
    return found == files.end() ? std::vector<fs::path>{} : found->second;
}

std::optional<ExtractError> openEditedFolder(const PutBackRequest& request, EditedFolder& folder)
{
    folder.path = request.folder;
    std::error_code ec;
    folder.dir = RawDir::open(request.folder, ec);
    const fs::path stem(std::string{kImageStem});
    if (!ec) {
        folder.dir.forEachName(
            [&](const fs::path& name) {
                if (const auto number = imageNumber(name, stem, kImageExt)) {
                    folder.numbers.push_back(*number);
                    folder.files[*number].push_back(name);
                } else if (const auto pngNumber = pngEditNumber(name)) {
                    folder.numbers.push_back(*pngNumber);
                    folder.files[*pngNumber].push_back(name);
                } else if (auto miss = nearMiss(name))
                    folder.nearMisses.push_back(std::move(*miss));
            },
            ec);
    }
    if (ec)
        return makeError(ErrorKind::SourceOpen, request.folder,
                         "Cannot read the folder of edited images", ec);
    for (auto& [number, names] : folder.files) {
        std::sort(names.begin(), names.end(), [](const fs::path& a, const fs::path& b) {
            const bool aPng = pngEditNumber(a).has_value();
            const bool bPng = pngEditNumber(b).has_value();
            return aPng != bPng ? bPng : a < b;
        });
    }
    std::sort(folder.numbers.begin(), folder.numbers.end());
    folder.numbers.erase(std::unique(folder.numbers.begin(), folder.numbers.end()),
                         folder.numbers.end());
    std::sort(folder.nearMisses.begin(), folder.nearMisses.end(),
              [](const NearMiss& a, const NearMiss& b) { return a.name < b.name; });
    return std::nullopt;
}

namespace {

// The edited image `name` and its original, read and judged (asking `keepGoing` on the way);
// the bytes read in `bytesRead`.
std::variant<Unchanged, Replacement, std::string, ExtractError>
judgeFile(const PutBackRequest& request, const EditedFolder& folder, const RawFile& source,
          const ImageInfo& original, const fs::path& name, const std::function<bool()>& keepGoing,
          std::uint64_t& bytesRead)
{
    using Judged = std::variant<Unchanged, Replacement, std::string, ExtractError>;
    const fs::path path = request.folder / name;
    ExtractError failure;
    auto read = readEdited(folder.dir, request.folder, name, failure);
    if (!failure.message.empty())
        return failure;
    if (read.index() == 1)
        return Judged(std::in_place_index<2>, std::move(std::get<1>(read)));
    std::error_code ec;
    std::string originalBytes(static_cast<std::size_t>(original.jpeg.end.value_or(original.size)),
                              '\0');
    if (source.readAt(original.offset, originalBytes.data(), originalBytes.size(), ec) !=
            originalBytes.size() ||
        ec) {
        if (!ec)
            ec = std::make_error_code(std::errc::io_error);
        return makeError(ErrorKind::SourceRead, request.source, "Cannot read the source file", ec);
    }
    bytesRead = originalBytes.size() + std::get<0>(read).size();
    auto judged = judgeEdit(name, std::move(std::get<0>(read)), original, originalBytes,
                            request.fit, keepGoing);
    if (auto* replacement = std::get_if<Replacement>(&judged)) {
        replacement->file = path;
        return Judged(std::in_place_index<1>, std::move(*replacement));
    }
    if (auto* reason = std::get_if<std::string>(&judged))
        return Judged(std::in_place_index<2>, std::move(*reason));
    return Unchanged{};
}

} // namespace

std::variant<Unchanged, Replacement, std::string, ExtractError>
judgeEditedFile(const PutBackRequest& request, const EditedFolder& folder, const RawFile& source,
                const ImageInfo& original, const fs::path& name,
                const std::function<bool()>& keepGoing)
{
    std::uint64_t bytesRead = 0;
    return judgeFile(request, folder, source, original, name, keepGoing, bytesRead);
}

namespace {

// Names each near miss of `folder` as refused, or passed over when the request ignores files
// that match no image; the list such files go to.
std::vector<Refusal>& tellNearMisses(const PutBackRequest& request, const EditedFolder& folder,
                                     std::uint64_t imageCount, PutBackOutcome& outcome)
{
    std::vector<Refusal>& unmatched =
        request.ignoreUnmatched ? outcome.passedOver : outcome.refused;
    for (const NearMiss& miss : folder.nearMisses) {
        const bool own = miss.number && folder.has(*miss.number);
        const bool ownPng = own && pngEditNumber(folder.filesOf(*miss.number).front()).has_value();
        unmatched.push_back(
            {0, request.folder / miss.name, nearMissReason(miss, imageCount, own, ownPng)});
    }
    return unmatched;
}

} // namespace

namespace {

// What one file of an image comes to.
enum class Verdict
{
    Unchanged,
    Replaced,
    Refused,
    Unmatched // it has no place in the level
};

struct Judgement
{
    Verdict verdict = Verdict::Refused;
    Replacement replacement{};
    std::string reason{};
};

// Judges the file `name` of `target`, asking `keepGoing` on the way; the bytes read added to
// `bytesRead`.
std::variant<Judgement, ExtractError> judgeTarget(const PutBackRequest& request,
                                                  const EditedFolder& folder, const RawFile& source,
                                                  const EditTarget& target, const fs::path& name,
                                                  const std::function<bool()>& keepGoing,
                                                  std::uint64_t& bytesRead)
{
    if (!target.original && !target.extracted)
        return Judgement{Verdict::Unmatched, {}, target.missing};
    // A file as it was extracted is unchanged, wherever its texture now stands, if anywhere.
    if (target.extracted) {
        ExtractError failure;
        auto read = readEdited(folder.dir, request.folder, name, failure);
        if (!failure.message.empty())
            return failure;
        if (read.index() == 1)
            return Judgement{Verdict::Refused, {}, std::move(std::get<1>(read))};
        bytesRead = std::get<0>(read).size();
        if (textureDigest(std::get<0>(read)) == *target.extracted)
            return Judgement{Verdict::Unchanged};
        if (!target.original)
            return Judgement{Verdict::Unmatched, {}, target.missing};
    }
    auto judged = judgeFile(request, folder, source, *target.original, name, keepGoing, bytesRead);
    if (auto* failure = std::get_if<ExtractError>(&judged))
        return std::move(*failure);
    if (std::holds_alternative<Unchanged>(judged))
        return Judgement{Verdict::Unchanged};
    if (auto* reason = std::get_if<std::string>(&judged))
        return Judgement{Verdict::Refused, {}, std::move(*reason)};
    return Judgement{Verdict::Replaced, std::move(std::get<Replacement>(judged))};
}

// Why a file is refused that is one of `count` edits of image `number`, the others `others`.
std::string twoEdits(const std::vector<std::string>& others, std::uint64_t number)
{
    std::string text;
    for (const std::string& other : others)
        text += " and " + other;
    const std::size_t count = others.size() + 1;
    return text.substr(1) + " are " + (count == 2 ? std::string("two") : std::to_string(count)) +
           " edits of image " + std::to_string(number) + "; keep one";
}

} // namespace

std::optional<ExtractError> planEdits(const PutBackRequest& request, const EditedFolder& folder,
                                      const RawFile& source, std::uint64_t imageCount,
                                      const std::vector<EditTarget>& targets, RunEvents& events,
                                      PutBackOutcome& outcome)
{
    const fs::path stem(std::string{kImageStem});
    // A file that matches no image is refused, or named as passed over: never left out unsaid.
    std::vector<Refusal>& unmatched = tellNearMisses(request, folder, imageCount, outcome);

    // Counted in images: the bytes to compare are not known before each file is read, so no
    // size is given.
    Progress done;
    std::uint64_t held = 0;
    const std::function<bool()> keepGoing = [&events] { return events.keepGoing(); };
    for (const EditTarget& target : targets) {
        if (!events.keepGoing())
            return std::nullopt;
        ++done.imagesCompleted;
        done.percent = static_cast<int>(done.imagesCompleted * 100 / targets.size());
        const std::uint64_t number = target.number;
        std::vector<fs::path> names = folder.filesOf(number);
        if (names.empty())
            names.push_back(imageFileName(stem, number, kImageExt));
        std::vector<Judgement> judged;
        for (const fs::path& name : names) {
            std::uint64_t bytesRead = 0;
            auto one = judgeTarget(request, folder, source, target, name, keepGoing, bytesRead);
            if (auto* failure = std::get_if<ExtractError>(&one))
                return std::move(*failure);
            // A judgement cut short by a stop is no judgement.
            if (!events.keepGoing())
                return std::nullopt;
            done.bytesRead += bytesRead;
            judged.push_back(std::move(std::get<Judgement>(one)));
        }
        // Beside an unchanged JPEG, a PNG is the edit; two files that both differ are two edits.
        std::vector<std::string> edits;
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (judged[i].verdict == Verdict::Replaced || judged[i].verdict == Verdict::Refused)
                edits.push_back(displayPath(names[i]));
        }
        for (std::size_t i = 0; i < names.size(); ++i) {
            Judgement& one = judged[i];
            const fs::path file = request.folder / names[i];
            if (edits.size() > 1 &&
                (one.verdict == Verdict::Replaced || one.verdict == Verdict::Refused)) {
                std::vector<std::string> others;
                for (const std::string& edit : edits) {
                    if (edit != displayPath(names[i]))
                        others.push_back(edit);
                }
                outcome.refused.push_back({number, file, twoEdits(others, number)});
            } else if (one.verdict == Verdict::Unchanged) {
                // An unchanged JPEG beside the PNG that is the image's edit is no unchanged image.
                if (edits.empty())
                    ++outcome.unchanged;
            } else if (one.verdict == Verdict::Unmatched) {
                unmatched.push_back({number, file, std::move(one.reason)});
            } else if (one.verdict == Verdict::Refused) {
                outcome.refused.push_back({number, file, std::move(one.reason)});
            } else {
                Replacement& replacement = one.replacement;
                // What a dry run never writes, and what goes beyond the bound, is not kept.
                if (request.dryRun || held + replacement.length > request.heldBytes) {
                    replacement.bytes.clear();
                    replacement.bytes.shrink_to_fit();
                } else {
                    held += replacement.length;
                }
                outcome.replaced.push_back(std::move(replacement));
            }
        }
        events.onProgress(Phase::Comparing, done);
    }
    // By texture, the places need not come in the files' order.
    std::sort(outcome.replaced.begin(), outcome.replaced.end(),
              [](const Replacement& a, const Replacement& b) { return a.offset < b.offset; });
    return std::nullopt;
}

std::optional<ExtractError> planReplacements(const PutBackRequest& request,
                                             const EditedFolder& folder, const RawFile& source,
                                             std::uint64_t imageCount,
                                             const std::vector<ImageInfo>& originals,
                                             RunEvents& events, PutBackOutcome& outcome)
{
    std::vector<EditTarget> targets;
    auto original = originals.begin();
    for (const std::uint64_t number : folder.numbers) {
        EditTarget target;
        target.number = number;
        while (original != originals.end() && original->number < number)
            ++original;
        if (number > imageCount)
            target.missing = "is numbered beyond the " + std::to_string(imageCount) +
                             " textures in " + displayPath(request.source);
        else if (original == originals.end() || original->number != number)
            return ExtractError{ErrorKind::SourceRead, request.source,
                                "The source file \"" + displayPath(request.source) +
                                    "\" changed while it was read: image " +
                                    std::to_string(number) + " was not found again"};
        else
            target.original = *original;
        targets.push_back(std::move(target));
    }
    return planEdits(request, folder, source, imageCount, targets, events, outcome);
}

std::optional<ExtractError> reloadReplacement(const PutBackRequest& request,
                                              const EditedFolder& folder, const RawFile& source,
                                              const ImageInfo& original, RunEvents& events,
                                              Replacement& replacement)
{
    std::uint64_t bytesRead = 0;
    const std::function<bool()> keepGoing = [&events] { return events.keepGoing(); };
    auto judged = judgeFile(request, folder, source, original, replacement.file.filename(),
                            keepGoing, bytesRead);
    if (auto* failure = std::get_if<ExtractError>(&judged))
        return std::move(*failure);
    if (!events.keepGoing())
        return std::nullopt; // stopped: the writing ends before these bytes are needed
    auto* again = std::get_if<Replacement>(&judged);
    if (!again || again->length != replacement.length || again->digest != replacement.digest)
        return ExtractError{ErrorKind::SourceRead, replacement.file,
                            "The edited image \"" + displayPath(replacement.file) +
                                "\" changed while the new level was written; nothing was put "
                                "in place"};
    replacement.bytes = std::move(again->bytes);
    return std::nullopt;
}

} // namespace glintmark::features
