#pragma once

#include "engine/ExtractTypes.h"
#include "engine/io/RawDir.h"
#include "features/game/TextureHasher.h"
#include "features/game/TextureIndex.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

namespace glintmark {
class LockedFolder;
}

namespace glintmark::features {

// Why shared textures were kept as copies: the first image no link could be made for, and the
// system's reason.
struct LinkProblem
{
    std::filesystem::path file;
    std::error_code reason;
};

// What a run over many levels learns beyond each level: every texture's digest and where it is
// used (the game's index), and, with `dedupe`, each written image whose bytes an earlier one's
// equal made a further name (a hard link) of that earlier file. One level at a time, in order;
// it holds a digest and a few numbers per texture and per image, never their bytes.
class GameTextures
{
public:
    GameTextures(bool trim, bool dedupe) : m_trim(trim), m_dedupe(dedupe) {}

    // A folder of the game could not be read: its levels are missing from the index.
    void markUnread(const std::filesystem::path& folder, std::string message)
    {
        m_index.addUnread(folder, std::move(message));
    }
    // A level begins: `name` is its path inside the game, `folder` where its images go (as the
    // run spells it).
    void beginLevel(const std::filesystem::path& name, const std::filesystem::path& folder);
    // The level's run opened its file, `identity`.
    void sourceOpened(const FileIdentity& identity) { m_index.setSource(m_level, identity); }
    // The level's run tells of its images: where each starts, its bytes, and each one complete.
    void imageStart(std::uint64_t number);
    void imageBytes(const char* data, std::size_t count);
    void image(const ImageInfo& image);
    // With `dedupe`, asked once image `image` has all its bytes, before they are written: the
    // file of an earlier level that holds the same bytes, for the image to become a link to.
    std::optional<ImageLink> linkFor(const ImageInfo& image);
    // The level's source is read and its images are in place in `folder`, still locked: with
    // `dedupe`, each image written whose bytes an earlier image's equal (one of this level, or
    // any image when the run had no writers to link before writing) becomes a link to that
    // one's file. A link the file system refuses leaves the file as written (a copy).
    // `keepGoing` is asked between images; a stop leaves every file whole, linked or not.
    std::optional<ExtractError> finishLevel(LockedFolder& folder,
                                            const std::function<bool()>& keepGoing);

    // The run is over: the folder kept open for linking is closed.
    void closeFolders() { m_openFolders.clear(); }

    const TextureIndex& index() const { return m_index; }
    // Images made links to an earlier file, and images kept as copies because no link could
    // be made (with the first such one and why).
    std::uint64_t linked() const { return m_linked; }
    std::uint64_t copies() const { return m_copies; }
    const std::optional<LinkProblem>& linkProblem() const { return m_linkProblem; }

private:
    // The first file written with given bytes: its level, number and identity.
    struct FirstFile
    {
        std::uint32_t level = 0;
        std::uint64_t number = 0;
        FileIdentity identity;
    };

    // An image of this level written as a file, not yet compared after the level; `settled`
    // once the writers linked it, or could not.
    struct WrittenImage
    {
        std::uint64_t number = 0;
        Digest digest{};
        bool settled = false;
    };

    // The folder of level `level`, opened for linking from (null for the current one). The few
    // last asked for stay open; a link being made keeps its folder open until it is done.
    std::shared_ptr<const RawDir> folderOf(std::uint32_t level, std::error_code& ec);
    // Counts a link the writers made, or could not make, for image `image`.
    void settle(const ImageInfo& image);

    bool m_trim;
    bool m_dedupe;
    TextureIndex m_index;
    TextureHasher m_hasher{false, false};
    std::uint32_t m_level = 0;
    std::vector<std::filesystem::path> m_folders; // each level's output folder
    // The current level's images with the digests of their written bytes, for dedupe, in order.
    std::vector<WrittenImage> m_written;
    std::map<Digest, FirstFile> m_firstFiles;
    std::vector<std::pair<std::uint32_t, std::shared_ptr<const RawDir>>> m_openFolders;
    std::uint64_t m_linked = 0;
    std::uint64_t m_copies = 0;
    std::optional<LinkProblem> m_linkProblem;
};

} // namespace glintmark::features
