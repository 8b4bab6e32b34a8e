#include "features/game/GameTextures.h"

#include "engine/LockedFolder.h"
#include "engine/names/ImageNames.h"

#include <array>

namespace glintmark::features {
namespace {

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
    if (m_dedupe && !image.file.empty())
        m_written.emplace_back(image.number, digests->written);
}

const RawDir* GameTextures::folderOf(std::uint32_t level, std::error_code& ec)
{
    ec.clear();
    if (level == m_level)
        return nullptr;
    if (m_openLevel != level) {
        m_openLevel.reset();
        m_openFolder = RawDir::open(m_folders[level], ec);
        if (ec)
            return nullptr;
        m_openLevel = level;
    }
    return &m_openFolder;
}

std::optional<ExtractError> GameTextures::finishLevel(LockedFolder& folder,
                                                      const std::function<bool()>& keepGoing)
{
    if (!m_dedupe || !folder.canWrite())
        return std::nullopt;
    const std::filesystem::path stem{std::string(kImageStem)};
    for (const auto& [number, digest] : m_written) {
        const Digest& wanted = digest; // a lambda may not capture a structured binding here
        if (!keepGoing()) {
            folder.markStopped();
            break;
        }
        const std::filesystem::path name = imageFileName(stem, number, kImageExt);
        std::error_code ec;
        const FileIdentity here = folder.entry(name, ec);
        if (ec || here.type != FileType::Regular)
            continue;
        const auto [first, isFirst] =
            m_firstFiles.emplace(digest, FirstFile{m_level, number, here});
        if (isFirst || first->second.identity.sameFileAs(here))
            continue;
        const FirstFile& original = first->second;
        std::error_code refused;
        const RawDir* from = folderOf(original.level, refused);
        std::optional<ExtractError> error;
        if (!refused) {
            error = folder.placeLink(
                from, imageFileName(stem, original.number, kImageExt), original.identity, name,
                "the image file", [&wanted](RawFile& file) { return holds(file, wanted); },
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
