#pragma once

#include "ui/dialogs/VolumeSource.h"

#include <QByteArray>

namespace glintmark::ui {

// The drives of this computer: the drive letters on Windows, elsewhere the mounted volumes
// a user would store files on ("/" first), without the system's pseudo file systems.
class QtVolumeSource : public VolumeSource
{
public:
    QList<Volume> volumes() const override;

    // True for a mounted volume worth offering: "/" always; otherwise a folder that is not a
    // pseudo or internal file system and is not mounted in a system area such as /proc.
    static bool isUserVolume(const QString& root, const QByteArray& fileSystemType, bool isFolder);
};

} // namespace glintmark::ui
