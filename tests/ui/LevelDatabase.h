#pragma once

#include "support/LevelBuilder.h"

#include <QByteArray>
#include <QString>

#include <vector>

// A generated level database: real JPEG textures (made with QImage) with filler before, between
// and after them, and what each extracted file must hold; the shared generator's bytes as Qt's.
class LevelDatabase
{
public:
    // `count` textures of varied sizes and qualities; the filler never holds a 0xFF byte, so it
    // can never hold a signature. The same seed gives the same bytes.
    static LevelDatabase make(int count, quint32 seed, int maxFiller = 3000);

    // The whole container.
    QByteArray bytes() const { return QByteArray::fromStdString(m_level.bytes()); }
    // The JPEG of texture `index` (0-based), as it was encoded.
    QByteArray texture(int index) const;
    int count() const { return static_cast<int>(m_level.imageCount()); }
    // What the file of texture `index` must hold: from its signature to the byte before the
    // next one (the last to the end of the container).
    QByteArray expectedFile(int index) const;

    // Writes the container to `path`; false when that fails.
    bool write(const QString& path) const;
    // Writes to `path` another container holding this one's textures `which`, in that order,
    // with filler drawn from `seed` before and between them; false when that fails.
    bool writeLevelOf(const QString& path, const std::vector<int>& which, quint32 seed) const;

private:
    explicit LevelDatabase(quint32 seed) : m_level(seed) {}

    glintmark::testsupport::LevelBuilder m_level;
};

// The ten bytes that open every JFIF texture.
QByteArray jfifSignature();
