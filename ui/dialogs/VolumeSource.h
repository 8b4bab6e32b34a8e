#pragma once

#include <QList>
#include <QString>

#include <memory>

namespace glintmark::ui {

// Where the folder chooser's drive list gets its drives from. On Windows the drives are the
// drive letters; elsewhere they are the roots of the mounted volumes a user works with.
class VolumeSource
{
public:
    // One drive: its root folder (absolute, '/' separators, as Qt writes it) and its label.
    struct Volume
    {
        QString root;
        QString label;
    };

    virtual ~VolumeSource();

    // The drives to offer, in the order the drive list shows them.
    virtual QList<Volume> volumes() const = 0;
    // The process's current folder ('/' separators).
    virtual QString currentFolder() const;

    // True when the folder is the root or lies below it (both '/' separated, absolute).
    static bool holds(const QString& root, const QString& folder);
    // The index of the drive that holds the folder (the deepest root that does), or -1.
    static qsizetype indexHolding(const QList<Volume>& drives, const QString& folder);
    // The folder a drive opens at: the current folder when it lies on that drive (of the
    // given drives), otherwise the drive's root.
    static QString startFolder(const QList<Volume>& drives, const Volume& drive,
                               const QString& currentFolder);

    // The source new folder choosers use: the one set by setActive, else the system's own.
    static std::shared_ptr<const VolumeSource> active();
    // Makes new folder choosers use this source; nullptr goes back to the system's own.
    static void setActive(std::shared_ptr<const VolumeSource> source);
};

} // namespace glintmark::ui
