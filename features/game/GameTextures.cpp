#include "features/game/GameTextures.h"

#include "engine/LockedFolder.h"
#include "engine/names/ImageNames.h"

#include <algorithm>
#include <array>

namespace glintmark::features {
namespace {

// Folders of earlier levels kept open to link from.
constexpr std::size_t kOpenFolders = 4;

// Whether the whole of `file`, read from its start, has the digest `digest`.
bool holds(RawFile& file, const Digest& digest)
{
    Sha256 hash;
    std::array<char, std::size_t{64} << 10> buffer{};
    for (;;) {
        std::error_code ec;
        const std::size_t got = file.readFully(buffer.data(), buffer.size(), ec);
        if (ec)
            return false;
        hash.add(reinterpret_cast<const unsigned char*>(buffer.data()), got);
        if (got < buffer.size())
            return hash.finish() == digest;
    }
}

} // namespace

void GameTextures::beginLevel(const std::filesystem::path& name,
                              const std::filesystem::path& folder)
{
    m_level = m_index.addLevel(name);
    m_folders.push_back(folder);
    m_hasher = TextureHasher(m_trim, m_dedupe);
    m_written.clear();
}

void GameTextures::imageStart(std::uint64_t number)
{
    m_hasher.start(number);
}

void GameTextures::imageBytes(const char* data, std::size_t count)
{
    m_hasher.bytes(data, count);
}

void GameTextures::image(const ImageInfo& image)
{
    const std::optional<ImageDigests> digests = m_hasher.take(image.number);
    if (!digests)
        return;
    m_index.add(m_level, image, digests->texture, digests->textureBytes);
    if (!m_dedupe || image.file.empty())
        return;
    // Without writers, nothing was asked before the image was written.
    if (m_written.empty() || m_written.back().number < image.number)
        m_written.push_back(WrittenImage{image.number, digests->written, false});
    if (image.linked || image.linkRefused)
        settle(image);
}

std::optional<ImageLink> GameTextures::linkFor(const ImageInfo& image)
{
    if (!m_dedupe || image.file.empty())
        return std::nullopt;
    const std::optional<Digest> digest = m_hasher.written(image.number);
    if (!digest)
        return std::nullopt;
    m_written.push_back(WrittenImage{image.number, *digest, false});
    // Files are known once their level is done: an image like one of its own level is linked
    // after the level.
    const auto first = m_firstFiles.find(*digest);
    if (first == m_firstFiles.end())
        return std::nullopt;
    std::error_code ec;
    std::shared_ptr<const RawDir> from = folderOf(first->second.level, ec);
    if (ec)
        return std::nullopt; // tried again after the level, where a refusal is told
    const std::filesystem::path stem{std::string(kImageStem)};
    return ImageLink{std::move(from), imageFileName(stem, first->second.number, kImageExt),
                     first->second.identity};
}

void GameTextures::settle(const ImageInfo& image)
{
    const auto found = std::lower_bound(
        m_written.begin(), m_written.end(), image.number,
        [](const WrittenImage& written, std::uint64_t number) { return written.number < number; });
    if (found == m_written.end() || found->number != image.number)
        return;
    found->settled = true;
    if (image.linked) {
        ++m_linked;
        return;
    }
    ++m_copies;
    if (!m_linkProblem)
        m_linkProblem = LinkProblem{image.file, image.linkRefused};
}

std::shared_ptr<const RawDir> GameTextures::folderOf(std::uint32_t level, std::error_code& ec)
{
    ec.clear();
    if (level == m_level)
        return nullptr;
    for (const auto& [open, folder] : m_openFolders) {
        if (open == level)
            return folder;
    }
    auto folder = std::make_shared<const RawDir>(RawDir::open(m_folders[level], ec));
    if (ec)
        return nullptr;
    if (m_openFolders.size() >= kOpenFolders)
        m_openFolders.erase(m_openFolders.begin());
    m_openFolders.emplace_back(level, folder);
    return folder;
}

std::optional<ExtractError> GameTextures::finishLevel(LockedFolder& folder,
                                                      const std::function<bool()>& keepGoing)
{
    if (!m_dedupe || !folder.canWrite())
        return std::nullopt;
    const std::filesystem::path stem{std::string(kImageStem)};
    for (const WrittenImage& written : m_written) {
        if (written.settled)
            continue;
        const Digest& wanted = written.digest;
        if (!keepGoing()) {
            folder.markStopped();
            break;
        }
        const std::filesystem::path name = imageFileName(stem, written.number, kImageExt);
        std::error_code ec;
        const FileIdentity here = folder.entry(name, ec);
        if (ec || here.type != FileType::Regular)
            continue;
        const auto [first, isFirst] =
            m_firstFiles.emplace(wanted, FirstFile{m_level, written.number, here});
        if (isFirst || first->second.identity.sameFileAs(here))
            continue;
        const FirstFile& original = first->second;
        std::error_code refused;
        const std::shared_ptr<const RawDir> from = folderOf(original.level, refused);
        std::optional<ExtractError> error;
        if (!refused) {
            error = folder.placeLink(
                from.get(), imageFileName(stem, original.number, kImageExt), original.identity,
                name, "the image file", [&wanted](RawFile& file) { return holds(file, wanted); },
                refused);
        }
        if (error)
            return error;
        if (refused) {
            ++m_copies;
            if (!m_linkProblem)
                m_linkProblem = LinkProblem{m_folders[m_level] / name, refused};
        } else {
            ++m_linked;
        }
    }
    m_written.clear();
    return std::nullopt;
}

} // namespace glintmark::features
