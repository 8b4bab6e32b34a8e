#pragma once

#include <QSortFilterProxyModel>
#include <QString>

#include "engine/jpeg/JpegStructure.h"

#include <cstdint>
#include <optional>

namespace glintmark::ui {

// Which textures the grid shows: by state, shared or not, size, and a search by number or name
// (a level's name, or the file name a texture is extracted under).
class TextureFilter : public QSortFilterProxyModel
{
    Q_OBJECT

public:
    explicit TextureFilter(QObject* parent = nullptr);

    // Only textures in `state` (whole, trailing, cut short, damaged); all when empty.
    void setState(std::optional<JpegStatus> state);
    // Only textures used in more than one place.
    void setSharedOnly(bool shared);
    // Only textures of at least `bytes` bytes.
    void setMinimumSize(std::uint64_t bytes);
    // Only textures the check found to decode (1), not to decode (0), or that were not checked
    // (-1); all when empty.
    void setDecoding(std::optional<int> decodes);
    // Only textures whose number is `text`, or whose names contain it (any case); all when empty.
    void setSearch(const QString& text);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    std::optional<JpegStatus> m_state;
    std::optional<int> m_decodes;
    bool m_sharedOnly = false;
    std::uint64_t m_minimumSize = 0;
    QString m_search;
};

} // namespace glintmark::ui
