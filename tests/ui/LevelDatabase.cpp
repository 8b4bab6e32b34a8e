#include "LevelDatabase.h"

#include <QBuffer>
#include <QColor>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>

namespace {

QByteArray encodeTexture(QRandomGenerator& random)
{
    const int width = 8 + random.bounded(120);
    const int height = 8 + random.bounded(120);
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor::fromRgb(random.generate() & 0xFFFFFF));
    QPainter painter(&image);
    for (int i = 0; i < 6; ++i) {
        painter.setBrush(QColor::fromRgb(random.generate() & 0xFFFFFF));
        painter.drawEllipse(random.bounded(width), random.bounded(height),
                            1 + random.bounded(width), 1 + random.bounded(height));
    }
    painter.end();
    QByteArray encoded;
    QBuffer buffer(&encoded);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 40 + random.bounded(55));
    return encoded;
}

} // namespace

QByteArray jfifSignature()
{
    const std::string_view signature = glintmark::testsupport::kSignature;
    return QByteArray(signature.data(), static_cast<qsizetype>(signature.size()));
}

LevelDatabase LevelDatabase::make(int count, quint32 seed, int maxFiller)
{
    QRandomGenerator random(seed);
    LevelDatabase db(seed);
    const auto most = static_cast<std::size_t>(maxFiller);
    db.m_level.filler(db.m_level.draw(1, most));
    for (int i = 0; i < count; ++i) {
        const QByteArray texture = encodeTexture(random);
        Q_ASSERT(texture.startsWith(jfifSignature()));
        db.m_level.image(texture.toStdString());
        db.m_level.filler(db.m_level.draw(0, most - 1));
    }
    return db;
}

QByteArray LevelDatabase::texture(int index) const
{
    return QByteArray::fromStdString(m_level.image(static_cast<std::size_t>(index)));
}

QByteArray LevelDatabase::expectedFile(int index) const
{
    return QByteArray::fromStdString(m_level.expectedFile(static_cast<std::size_t>(index)));
}

bool LevelDatabase::write(const QString& path) const
{
    const QByteArray content = bytes();
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.flush();
}

bool LevelDatabase::writeLevelOf(const QString& path, const std::vector<int>& which,
                                 quint32 seed) const
{
    glintmark::testsupport::LevelBuilder level(seed);
    level.filler(200);
    for (const int index : which)
        level.image(texture(index).toStdString()).filler(level.draw(1, 300));
    const QByteArray content = QByteArray::fromStdString(level.bytes());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.flush();
}
