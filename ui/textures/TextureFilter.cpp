#include "ui/textures/TextureFilter.h"

#include "ui/textures/TextureModel.h"

namespace glintmark::ui {

TextureFilter::TextureFilter(QObject* parent) : QSortFilterProxyModel(parent) {}

void TextureFilter::setState(std::optional<JpegStatus> state)
{
    m_state = state;
    invalidateFilter();
}

void TextureFilter::setDecoding(std::optional<int> decodes)
{
    m_decodes = decodes;
    invalidateFilter();
}

void TextureFilter::setSharedOnly(bool shared)
{
    m_sharedOnly = shared;
    invalidateFilter();
}

void TextureFilter::setMinimumSize(std::uint64_t bytes)
{
    m_minimumSize = bytes;
    invalidateFilter();
}

void TextureFilter::setSearch(const QString& text)
{
    m_search = text.trimmed();
    invalidateFilter();
}

bool TextureFilter::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const
{
    const QModelIndex row = sourceModel()->index(sourceRow, 0, sourceParent);
    if (m_state && row.data(TextureModel::StatusRole).toInt() != static_cast<int>(*m_state))
        return false;
    if (m_decodes && row.data(TextureModel::DecodesRole).toInt() != *m_decodes)
        return false;
    if (m_sharedOnly && row.data(TextureModel::UsesRole).toInt() < 2)
        return false;
    if (row.data(TextureModel::SizeRole).toULongLong() < m_minimumSize)
        return false;
    if (m_search.isEmpty())
        return true;
    bool isNumber = false;
    const quint64 number = m_search.toULongLong(&isNumber);
    const QString words = row.data(TextureModel::SearchRole).toString();
    if (isNumber)
        return words.split(QLatin1Char(' ')).contains(QString::number(number));
    return words.contains(m_search, Qt::CaseInsensitive);
}

} // namespace glintmark::ui
