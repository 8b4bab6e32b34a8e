#include "ui/textures/TextureModel.h"

#include "engine/names/ImageNames.h"
#include "features/game/GameTextures.h"
#include "features/game/Sha256.h"
#include "ui/textures/ThumbnailCache.h"

#include <QPixmap>

#include <map>
#include <utility>

namespace glintmark::ui {

namespace {

QString grouped(std::uint64_t value)
{
    return QString::fromStdString(features::groupedNumber(value));
}

QString fileName(std::uint64_t number)
{
    return QString::fromStdString(
        imageFileName(std::string(kImageStem), number, kImageExt).generic_string());
}

} // namespace

TextureModel::TextureModel(QObject* parent)
    : QAbstractListModel(parent), m_thumbnails(new ThumbnailCache(this))
{
    connect(m_thumbnails, &ThumbnailCache::ready, this, &TextureModel::thumbnailReady);
    m_blank = QPixmap(ThumbnailCache::kSide, ThumbnailCache::kSide);
    m_blank.fill(Qt::transparent);
}

void TextureModel::clear()
{
    beginResetModel();
    m_thumbnails->clear();
    m_rows.clear();
    m_rowOf.clear();
    m_levels.clear();
    m_images = 0;
    m_distinct = false;
    endResetModel();
}

void TextureModel::setLevel(int index, const QString& name, const std::filesystem::path& source)
{
    m_thumbnails->addLevel(index, source);
    while (m_levels.size() <= index)
        m_levels.append(QString());
    m_levels[index] = name;
}

void TextureModel::addImages(const QVector<FoundImage>& images)
{
    if (images.isEmpty())
        return;
    const int first = static_cast<int>(m_rows.size());
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(images.size()) - 1);
    for (const FoundImage& found : images) {
        TextureEntry entry;
        entry.level = found.level;
        entry.image = found.image;
        entry.uses.push_back({found.level, found.image.number, found.image.offset});
        m_rowOf.insert({found.level, found.image.offset}, static_cast<int>(m_rows.size()));
        m_rows.push_back(std::move(entry));
    }
    m_images += static_cast<std::uint64_t>(images.size());
    endInsertRows();
}

void TextureModel::applyIndex(const features::GameTextures& textures)
{
    const features::TextureIndex& index = textures.index();
    std::map<std::pair<int, std::uint64_t>, std::size_t> listed;
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        listed.emplace(std::make_pair(m_rows[i].level, m_rows[i].image.number), i);

    std::vector<TextureEntry> rows;
    rows.reserve(index.textures().size());
    for (const features::Texture& texture : index.textures()) {
        if (texture.in.empty())
            continue;
        const features::TextureUse& first = texture.in.front();
        TextureEntry entry;
        entry.level = static_cast<int>(first.level);
        const auto found = listed.find({entry.level, first.number});
        if (found != listed.end()) {
            entry.image = m_rows[found->second].image;
        } else {
            // Not among the rows (they came from another listing): what the index knows.
            entry.image.number = first.number;
            entry.image.offset = first.offset;
            entry.image.size = texture.bytes;
            entry.image.jpeg.width = texture.width;
            entry.image.jpeg.height = texture.height;
        }
        entry.digest = QString::fromStdString(features::digestHex(texture.sha256));
        for (const features::TextureUse& use : texture.in)
            entry.uses.push_back({static_cast<int>(use.level), use.number, use.offset});
        rows.push_back(std::move(entry));
    }
    beginResetModel();
    m_rows = std::move(rows);
    indexRows();
    m_levels.clear();
    for (const std::filesystem::path& level : index.levels())
        m_levels.append(QString::fromStdString(features::levelText(level)));
    m_images = index.uses();
    m_distinct = true;
    endResetModel();
}

void TextureModel::indexRows()
{
    m_rowOf.clear();
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        m_rowOf.insert({m_rows[i].level, m_rows[i].image.offset}, static_cast<int>(i));
}

void TextureModel::thumbnailReady(int level, quint64 offset)
{
    const auto found = m_rowOf.constFind({level, offset});
    if (found == m_rowOf.cend())
        return;
    const QModelIndex changed = index(*found);
    emit dataChanged(changed, changed, {Qt::DecorationRole});
}

QString TextureModel::details(int row) const
{
    if (row < 0 || row >= rowCount())
        return {};
    const TextureEntry& entry = m_rows[static_cast<std::size_t>(row)];
    const features::CheckedImage& image = entry.image;
    QStringList lines;
    lines << tr("Texture %1 (%2)").arg(image.number).arg(fileName(image.number));
    lines << tr("Offset: %1").arg(grouped(image.offset));
    lines << tr("Size: %1 bytes").arg(grouped(image.size));
    lines << (image.jpeg.hasFrame
                  ? tr("Dimensions: %1 x %2").arg(image.jpeg.width).arg(image.jpeg.height)
                  : tr("Dimensions: unknown"));
    lines << tr("Coding: %1").arg(QString::fromLatin1(codingName(image.jpeg.coding)));
    lines << tr("State: %1").arg(QString::fromStdString(features::statusText(image)));
    lines << tr("Decodes: %1").arg(QString::fromLatin1(features::decodeText(image)));
    if (!image.decodeError.empty())
        lines << tr("Decoder: %1").arg(QString::fromStdString(image.decodeError));
    if (!entry.digest.isEmpty())
        lines << tr("SHA-256: %1").arg(entry.digest);
    lines << (entry.uses.size() == 1 ? tr("Used once:")
                                     : tr("Used %1 times:").arg(entry.uses.size()));
    for (const TextureUseRef& use : entry.uses) {
        const QString level = use.level < m_levels.size() ? m_levels.at(use.level) : QString();
        lines << tr("  %1 #%2 at %3").arg(level).arg(use.number).arg(grouped(use.offset));
    }
    return lines.join(QLatin1Char('\n'));
}

QSize TextureModel::cellSize()
{
    return {ThumbnailCache::kSide + 36, ThumbnailCache::kSide + 28};
}

int TextureModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

QVariant TextureModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const TextureEntry& entry = m_rows[static_cast<std::size_t>(index.row())];
    const features::CheckedImage& image = entry.image;
    switch (role) {
    case Qt::DisplayRole: {
        QString text = QString::number(image.number);
        if (entry.uses.size() > 1)
            text += QStringLiteral(" (x%1)").arg(entry.uses.size());
        return text;
    }
    case Qt::DecorationRole: {
        // Until it is decoded, or when it cannot be, a blank square of the same size keeps
        // every cell of the grid alike.
        const QPixmap thumbnail = m_thumbnails->thumbnail(entry.level, image.offset, image.size);
        return thumbnail.isNull() ? m_blank : thumbnail;
    }
    case Qt::SizeHintRole:
        return cellSize();
    case Qt::ToolTipRole:
        return details(index.row());
    case NumberRole:
        return QVariant::fromValue<quint64>(image.number);
    case OffsetRole:
        return QVariant::fromValue<quint64>(image.offset);
    case SizeRole:
        return QVariant::fromValue<quint64>(image.size);
    case UsesRole:
        return static_cast<int>(entry.uses.size());
    case StatusRole:
        return static_cast<int>(jpegStatus(image.jpeg, image.size));
    case DecodesRole:
        return image.decodes ? (*image.decodes ? 1 : 0) : -1;
    case SearchRole: {
        QStringList words;
        for (const TextureUseRef& use : entry.uses) {
            words << QString::number(use.number) << fileName(use.number);
            if (use.level < m_levels.size())
                words << m_levels.at(use.level);
        }
        return words.join(QLatin1Char(' '));
    }
    default:
        return {};
    }
}

} // namespace glintmark::ui
