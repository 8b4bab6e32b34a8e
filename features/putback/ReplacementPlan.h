#pragma once

#include "engine/io/RawDir.h"
#include "engine/io/RawFile.h"
#include "features/putback/EditPlaces.h"
#include "features/putback/PutBack.h"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace glintmark::features {

// An edited image that is byte for byte its original, through its end marker.
struct Unchanged
{
};

// What becomes of one edited image, whose bytes are `edited`, against the original image
// `original` whose bytes from its signature through its end (or, without one, its whole length)
// are `originalBytes`: left alone, put back (with `number`, `offset` and `end` filled in), or
// refused with the reason. Decoding and encoding end soon after `keepGoing` (when set) answers
// no; what is then returned means nothing.
std::variant<Unchanged, Replacement, std::string>
judgeReplacement(std::string edited, const ImageInfo& original, const std::string& originalBytes,
                 bool fit, const std::function<bool()>& keepGoing = {});

// What becomes of one image edited and saved as a PNG, whose bytes are `png`, against the original
// as above: decoded (8-bit, opaque) and encoded in the original's coding and sampling at the
// highest quality that fits, whether or not `fit` is asked for (which converts grey to colour
// and back, as for a JPEG), or refused with the reason. Never unchanged.
std::variant<Replacement, std::string> judgePngEdit(std::string png, const ImageInfo& original,
                                                    const std::string& originalBytes, bool fit,
                                                    const std::function<bool()>& keepGoing = {});

// What becomes of the edit in the file named `name`, whose bytes are `edited`, against the
// original as above: judged as a PNG edit (judgePngEdit) when savedAsPng(name), as a JPEG
// (judgeReplacement) otherwise.
std::variant<Unchanged, Replacement, std::string>
judgeEdit(const std::filesystem::path& name, std::string edited, const ImageInfo& original,
          const std::string& originalBytes, bool fit, const std::function<bool()>& keepGoing = {});

// Whether the file named `name` is judged as a PNG (judgePngEdit): its extension is ".png", in
// any letter case.
bool savedAsPng(const std::filesystem::path& name);

// The number of the image whose edit, saved as a PNG, the bare name `name` names: the image's
// own name with ".png" (in any letter case) for ".jpg" ("Vorlesk_0002.png", "Vorlesk_0002.PNG").
std::optional<std::uint64_t> pngEditNumber(const std::filesystem::path& name);

// Whether `name` looks like an extracted texture's name but is not one an extraction writes: the
// stem in another case, fewer than four digits or a leading zero too many, ".jpeg" or ".JPG"
// ("Vorlesk_3.jpg", "vorlesk_0003.JPG"), as an editor may save it.
bool nearImageName(const std::filesystem::path& name);

// An image file in the folder of edited images that is not named as an extraction names an
// image, so it is not read: the image whose name it carries with more, if it does.
struct NearMiss
{
    std::filesystem::path name{};
    std::optional<std::uint64_t> number{}; // the number of the image name it carries
    bool jpegName = false;                 // it ends as a JPEG's name does (.jpg, .jpeg, ...)
    bool pngName = false;                  // it ends in ".png", in any letter case
};

// Whether the bare name `name` is that of an image file an editor may have saved (by its
// extension: JPEG, PNG, BMP, GIF, TGA, TIFF, WebP, DDS) that is not an extracted image's own name
// nor its PNG edit's (pngEditNumber), and not hidden; if so, the image name it carries
// ("Vorlesk_0005 (copy).jpg" carries "Vorlesk_0005", "copy of vorlesk_5.png" carries "vorlesk_5"),
// if any.
std::optional<NearMiss> nearMiss(const std::filesystem::path& name);

// Why the near miss `miss` is not put back, and the name to give it: with the level's
// `imageCount` images, and whether the folder holds the image's own file as well (`ownFile`),
// and whether that file is its PNG edit, there being no JPEG of it (`ownPng`).
std::string nearMissReason(const NearMiss& miss, std::uint64_t imageCount, bool ownFile,
                           bool ownPng = false);

// The folder of edited images, opened once and read through: which image numbers it holds files
// for (named exactly as an extraction names them, or as their PNG edits) and every other image
// file in it.
struct EditedFolder
{
    std::filesystem::path path;
    RawDir dir;
    std::vector<std::uint64_t> numbers; // ascending, one each
    std::vector<NearMiss> nearMisses;   // by name
    // Each number's files: its JPEG first, if there is one, then its PNGs by name.
    std::map<std::uint64_t, std::vector<std::filesystem::path>> files;

    // Whether the folder holds a file for image `number`.
    bool has(std::uint64_t number) const;
    // The files for image `number`, as in `files`; none when it has none.
    std::vector<std::filesystem::path> filesOf(std::uint64_t number) const;
};

// Opens the request's folder of edited images and reads its names.
std::optional<ExtractError> openEditedFolder(const PutBackRequest& request, EditedFolder& folder);

// Reads every image file of `folder`, compares it with its original in `source` (opened once;
// it holds `imageCount` images, and `originals` are those of them the folder has files for, in
// ascending order) and judges it. Fills in the outcome's replacements, refusals and unchanged
// count; the replacements' bytes are held up to the request's heldBytes, and only their length
// and digest beyond it. An image file that matches no image, numbered beyond the level's or not
// named as an image is (nearMiss), is refused, or passed over and named so when the request
// ignores such files. An image with a JPEG and a PNG goes back from the PNG when the JPEG is
// unchanged; when both differ from the image, both are refused, each naming the other. Fails
// only when a file cannot be read, or on a stop.
std::optional<ExtractError> planReplacements(const PutBackRequest& request,
                                             const EditedFolder& folder, const RawFile& source,
                                             std::uint64_t imageCount,
                                             const std::vector<ImageInfo>& originals,
                                             RunEvents& events, PutBackOutcome& outcome);

// As planReplacements, with each file's place in `source` given by `targets` (one for each of
// the folder's numbers, in the same order): a file whose texture digest is the one it was cut
// from (`extracted`) is unchanged wherever that texture stands now; one without a place is
// named with its `missing` reason as a file that matches no image. `imageCount` is the count the
// near misses' reasons give. The replacements come in ascending order of offset.
std::optional<ExtractError> planEdits(const PutBackRequest& request, const EditedFolder& folder,
                                      const RawFile& source, std::uint64_t imageCount,
                                      const std::vector<EditTarget>& targets, RunEvents& events,
                                      PutBackOutcome& outcome);

// The edited image `name` in `folder` and its original `original` in `source`, read and judged
// as planReplacements judges them: left alone, put back (its file named in the request's
// folder), refused with the reason, or the failure to read either.
std::variant<Unchanged, Replacement, std::string, ExtractError>
judgeEditedFile(const PutBackRequest& request, const EditedFolder& folder, const RawFile& source,
                const ImageInfo& original, const std::filesystem::path& name,
                const std::function<bool()>& keepGoing = {});

// Fills in the bytes of `replacement`, which the plan did not hold, by reading its file (by its
// name, in `folder`) and its original (`original`, in `source`, which may be another level than
// the file's own) again and judging them as the plan did; fails, naming the file, when
// what comes out is not what the plan decided (the file changed since). At a stop (asked of
// `events`) it returns with the bytes not filled in.
std::optional<ExtractError> reloadReplacement(const PutBackRequest& request,
                                              const EditedFolder& folder, const RawFile& source,
                                              const ImageInfo& original, RunEvents& events,
                                              Replacement& replacement);

} // namespace glintmark::features
