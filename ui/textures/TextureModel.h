#pragma once

#include "ui/textures/TextureRun.h"

#include <QAbstractListModel>
#include <QHash>
#include <QPair>
#include <QPixmap>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace glintmark::features {
class GameTextures;
}

namespace glintmark::ui {

class ThumbnailCache;

// One place a texture is used: image `number` of level `level` (its place in levels()).
struct TextureUseRef
{
    int level = 0;
    std::uint64_t number = 0;
    std::uint64_t offset = 0;
};

// One row of the texture window: a texture as the listing found it (its first use), its digest
// once every level is read, and every place it is used.
struct TextureEntry
{
    int level = 0;
    features::CheckedImage image;
    QString digest; // SHA-256 in hex; empty until the index is in
    std::vector<TextureUseRef> uses;
};

// The textures of a level or a game, for the window's grid: first a row per image as the
// listing goes, then, once every level is read, a row per distinct texture with its uses.
class TextureModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role
    {
        NumberRole = Qt::UserRole + 1, // quint64: the first use's number
        OffsetRole,                    // quint64
        SizeRole,                      // quint64: bytes, as the listing counts them
        UsesRole,                      // int: how many places use it
        StatusRole,                    // int: its JpegStatus (whole, trailing, ...)
        DecodesRole,                   // int: 1 it decodes, 0 it does not, -1 not checked
        SearchRole                     // QString: what a search looks in (names and numbers)
    };

    explicit TextureModel(QObject* parent = nullptr);

    // Empties the model for a new listing.
    void clear();
    // Level `index` is being read, under `name`, from the file `source`.
    void setLevel(int index, const QString& name, const std::filesystem::path& source);
    // Appends the images a listing found.
    void addImages(const QVector<FoundImage>& images);
    // Every level is read: the rows become the distinct textures, each with its uses.
    void applyIndex(const features::GameTextures& textures);

    const QStringList& levels() const { return m_levels; }
    ThumbnailCache* thumbnails() const { return m_thumbnails; }
    const TextureEntry& entry(int row) const { return m_rows.at(static_cast<std::size_t>(row)); }
    // Images listed, counting every use.
    std::uint64_t images() const { return m_images; }
    // Whether the rows are the distinct textures (the index is in).
    bool distinct() const { return m_distinct; }

    // Every cell of the grid: a thumbnail's square with a caption below it. The same for every
    // row whatever its thumbnail's shape, so a grid of uniform cells never cuts off a caption.
    static QSize cellSize();

    // The details of row `row`, a line each: number, offset, size, dimensions, coding, state,
    // decoding verdict, digest, and every level and number where it is used.
    QString details(int row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    void indexRows();
    void thumbnailReady(int level, quint64 offset);

    ThumbnailCache* m_thumbnails;
    QPixmap m_blank; // what a texture without its thumbnail shows
    std::vector<TextureEntry> m_rows;
    QHash<QPair<int, quint64>, int> m_rowOf; // (level, offset) of a row's image -> the row
    QStringList m_levels;
    std::uint64_t m_images = 0;
    bool m_distinct = false;
};

} // namespace glintmark::ui
