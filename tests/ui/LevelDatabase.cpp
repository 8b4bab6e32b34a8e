#include "LevelDatabase.h"

#include <QBuffer>
#include <QColor>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>

namespace {

QByteArray filler(QRandomGenerator& random, int length)
{
    QByteArray bytes(length, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(random.bounded(0xFF)); // 0x00 to 0xFE
    return bytes;
}

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
    return QByteArray::fromHex("FFD8FFE000104A464946");
}

LevelDatabase LevelDatabase::make(int count, quint32 seed, int maxFiller)
{
    QRandomGenerator random(seed);
    LevelDatabase db;
    db.m_bytes += filler(random, 1 + random.bounded(maxFiller));
    for (int i = 0; i < count; ++i) {
        const QByteArray texture = encodeTexture(random);
        Q_ASSERT(texture.startsWith(jfifSignature()));
        db.m_offsets.append(db.m_bytes.size());
        db.m_textures.append(texture);
        db.m_bytes += texture;
        db.m_bytes += filler(random, random.bounded(maxFiller));
    }
    return db;
}

QByteArray LevelDatabase::expectedFile(int index) const
{
    const qsizetype from = m_offsets.at(index);
    const qsizetype to = index + 1 < count() ? m_offsets.at(index + 1) : m_bytes.size();
    return m_bytes.mid(from, to - from);
}

bool LevelDatabase::write(const QString& path) const
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(m_bytes) == m_bytes.size() && file.flush();
}
