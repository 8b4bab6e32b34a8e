#pragma once

#include <QCache>
#include <QImage>
#include <QObject>
#include <QPair>
#include <QPixmap>
#include <QSet>
#include <QThreadPool>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

namespace glintmark::ui {

// The grid's thumbnails: each decoded on a worker thread from its bytes in its level, the first
// time it is asked for, and kept in a cache of bounded size, so that memory follows what is on
// screen, not the game. Small textures are enlarged by whole pixels (nearest neighbour) so that
// they stay crisp.
class ThumbnailCache : public QObject
{
    Q_OBJECT

public:
    // The side of the square a thumbnail fits in, in pixels.
    static constexpr int kSide = 64;

    explicit ThumbnailCache(QObject* parent = nullptr);
    // Waits for the decodings under way (each ends within moments).
    ~ThumbnailCache() override;

    // Forgets every level and thumbnail, for a new listing.
    void clear();
    // Level `level` of the listing is the file `source`; its bytes are read from it when a
    // thumbnail needs them, through one handle opened on a worker.
    void addLevel(int level, const std::filesystem::path& source);
    // The thumbnail of the texture of `size` bytes at `offset` in `level`; null while it is being
    // decoded (ready() follows) and when it cannot be (its bytes cannot be read or decoded).
    QPixmap thumbnail(int level, std::uint64_t offset, std::uint64_t size);
    // How many thumbnails are being decoded or wait for a worker.
    int pending() const { return static_cast<int>(m_pending.size()); }
    // Decodes the texture of `size` bytes at `offset` in `level` whole, on a worker; fullImage()
    // follows with it, for the last such request only.
    void requestFull(int level, std::uint64_t offset, std::uint64_t size);

    // The picture a decoded image of any size becomes: fitted into kSide x kSide, smaller ones
    // enlarged by a whole factor with nearest-neighbour sampling, larger ones reduced smoothly.
    static QImage fitted(const QImage& image);

signals:
    // The thumbnail of the texture at `offset` in `level` is ready (or known to be impossible).
    void ready(int level, quint64 offset);
    // The texture asked for by requestFull(), decoded whole; null with `error` saying why when it
    // cannot be.
    void fullImage(int level, quint64 offset, const QImage& image, const QString& error);

private:
    using Key = QPair<int, quint64>;
    struct LevelFile;

    void store(std::uint64_t generation, Key key, const QImage& picture);

    QThreadPool m_pool;
    QCache<Key, QPixmap> m_cache;
    QSet<Key> m_pending;
    QSet<Key> m_failed;
    std::vector<std::shared_ptr<LevelFile>> m_levels;
    std::uint64_t m_generation = 0;
    std::uint64_t m_fullRequest = 0; // the last requestFull()'s
};

} // namespace glintmark::ui
