#include "ui/textures/ThumbnailCache.h"

#include "engine/io/RawFile.h"

#include <QBuffer>
#include <QImageReader>
#include <QMetaObject>

#include <algorithm>
#include <mutex>
#include <system_error>
#include <utility>

namespace glintmark::ui {

namespace {

// Thumbnails kept, in KiB: about 4,000 of the largest.
constexpr int kCacheKiB = 64 * 1024;
// Bytes read for one thumbnail at most: a texture beyond it gets none.
constexpr std::uint64_t kMostBytes = std::uint64_t{32} << 20;

} // namespace

// A level's file, opened by the first worker that needs its bytes and shared by all of them
// (reads by position do not move a shared file pointer).
struct ThumbnailCache::LevelFile
{
    std::filesystem::path path;
    std::mutex opening;
    bool tried = false;
    RawFile file;

    // The handle, opened on first use; null when the file cannot be opened.
    const RawFile* open()
    {
        const std::lock_guard<std::mutex> lock(opening);
        if (!tried) {
            tried = true;
            std::error_code ec;
            file = RawFile::openForReading(path, ec);
            if (ec)
                file = RawFile{};
        }
        return file.isOpen() ? &file : nullptr;
    }
};

ThumbnailCache::ThumbnailCache(QObject* parent) : QObject(parent), m_cache(kCacheKiB)
{
    m_pool.setMaxThreadCount(std::max(1, QThread::idealThreadCount() - 1));
}

ThumbnailCache::~ThumbnailCache()
{
    m_pool.clear();
    m_pool.waitForDone();
}

void ThumbnailCache::clear()
{
    ++m_generation;
    m_pool.clear(); // what has not started yet will not
    m_cache.clear();
    m_pending.clear();
    m_failed.clear();
    m_levels.clear();
}

void ThumbnailCache::addLevel(int level, const std::filesystem::path& source)
{
    if (level < 0)
        return;
    if (m_levels.size() <= static_cast<std::size_t>(level))
        m_levels.resize(static_cast<std::size_t>(level) + 1);
    auto file = std::make_shared<LevelFile>();
    file->path = source;
    m_levels[static_cast<std::size_t>(level)] = std::move(file);
}

QPixmap ThumbnailCache::thumbnail(int level, std::uint64_t offset, std::uint64_t size)
{
    const Key key(level, offset);
    if (const QPixmap* cached = m_cache.object(key))
        return *cached;
    if (m_pending.contains(key) || m_failed.contains(key))
        return {};
    if (level < 0 || static_cast<std::size_t>(level) >= m_levels.size() ||
        !m_levels[static_cast<std::size_t>(level)] || size > kMostBytes) {
        m_failed.insert(key);
        return {};
    }
    m_pending.insert(key);
    std::shared_ptr<LevelFile> file = m_levels[static_cast<std::size_t>(level)];
    const std::uint64_t generation = m_generation;
    ThumbnailCache* self = this; // outlives its workers: its destructor waits for them
    m_pool.start([self, file, generation, key, offset, size] {
        QImage picture;
        if (const RawFile* handle = file->open()) {
            QByteArray bytes(static_cast<qsizetype>(size), Qt::Uninitialized);
            std::error_code ec;
            const std::size_t got =
                handle->readAt(offset, bytes.data(), static_cast<std::size_t>(bytes.size()), ec);
            if (!ec && got == static_cast<std::size_t>(size)) {
                QBuffer buffer(&bytes);
                buffer.open(QIODevice::ReadOnly);
                QImageReader reader(&buffer, "jpeg");
                const QSize full = reader.size();
                // Large ones are reduced while they are decoded, which costs far less.
                if (full.isValid() && (full.width() > 2 * kSide || full.height() > 2 * kSide))
                    reader.setScaledSize(full.scaled(2 * kSide, 2 * kSide, Qt::KeepAspectRatio));
                picture = fitted(reader.read());
            }
        }
        QMetaObject::invokeMethod(
            self, [self, generation, key, picture] { self->store(generation, key, picture); },
            Qt::QueuedConnection);
    });
    return {};
}

void ThumbnailCache::requestFull(int level, std::uint64_t offset, std::uint64_t size)
{
    const std::uint64_t request = ++m_fullRequest;
    const std::uint64_t generation = m_generation;
    std::shared_ptr<LevelFile> file;
    if (level >= 0 && static_cast<std::size_t>(level) < m_levels.size())
        file = m_levels[static_cast<std::size_t>(level)];
    ThumbnailCache* self = this; // outlives its workers: its destructor waits for them
    m_pool.start([self, file, generation, request, level, offset, size] {
        QImage picture;
        QString error;
        const RawFile* handle = file ? file->open() : nullptr;
        if (!handle) {
            error = tr("Its level cannot be read.");
        } else if (size > kMostBytes) {
            error = tr("It is too large to show (%1 bytes).").arg(size);
        } else {
            QByteArray bytes(static_cast<qsizetype>(size), Qt::Uninitialized);
            std::error_code ec;
            const std::size_t got =
                handle->readAt(offset, bytes.data(), static_cast<std::size_t>(bytes.size()), ec);
            if (ec || got != static_cast<std::size_t>(size)) {
                error = ec ? QString::fromStdString(ec.message())
                           : tr("Its level is shorter than when it was listed.");
            } else {
                QBuffer buffer(&bytes);
                buffer.open(QIODevice::ReadOnly);
                QImageReader reader(&buffer, "jpeg");
                picture = reader.read();
                if (picture.isNull())
                    error = tr("It does not decode: %1").arg(reader.errorString());
            }
        }
        QMetaObject::invokeMethod(
            self,
            [self, generation, request, level, offset, picture, error] {
                if (generation == self->m_generation && request == self->m_fullRequest)
                    emit self->fullImage(level, offset, picture, error);
            },
            Qt::QueuedConnection);
    });
}

void ThumbnailCache::store(std::uint64_t generation, Key key, const QImage& picture)
{
    if (generation != m_generation)
        return;
    m_pending.remove(key);
    if (picture.isNull()) {
        m_failed.insert(key);
    } else {
        const int kib = static_cast<int>(std::max<qsizetype>(1, picture.sizeInBytes() / 1024));
        m_cache.insert(key, new QPixmap(QPixmap::fromImage(picture)), kib);
    }
    emit ready(key.first, key.second);
}

QImage ThumbnailCache::fitted(const QImage& image)
{
    if (image.isNull())
        return {};
    const int longest = std::max(image.width(), image.height());
    if (longest <= kSide) {
        const int factor = kSide / longest;
        if (factor <= 1)
            return image;
        return image.scaled(image.width() * factor, image.height() * factor, Qt::KeepAspectRatio,
                            Qt::FastTransformation);
    }
    return image.scaled(kSide, kSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

} // namespace glintmark::ui
