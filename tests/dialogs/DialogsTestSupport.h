#pragma once

#include "ui/dialogs/VolumeSource.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <utility>

using glintmark::ui::VolumeSource;

// The root a path written from "/" lands on: "/", or on Windows the current folder's drive
// ("C:/", "Z:/", ...).
inline QString currentRoot()
{
    const QString here = QDir::currentPath();
    return here.left(here.indexOf(QLatin1Char('/')) + 1);
}

// Drives that the test chooses, instead of this machine's mounts. The current folder stays
// the process's own unless one is given.
class FakeVolumeSource : public VolumeSource
{
public:
    explicit FakeVolumeSource(QList<Volume> drives) : driveList(std::move(drives)) {}

    QList<Volume> volumes() const override { return driveList; }

    QList<Volume> driveList;
};

// Puts the process into a folder for the length of a test and back afterwards.
class CurrentFolderGuard
{
public:
    explicit CurrentFolderGuard(const QString& folder) : m_previous(QDir::currentPath())
    {
        QDir::setCurrent(folder);
    }
    ~CurrentFolderGuard() { QDir::setCurrent(m_previous); }
    CurrentFolderGuard(const CurrentFolderGuard&) = delete;
    CurrentFolderGuard& operator=(const CurrentFolderGuard&) = delete;

private:
    QString m_previous;
};

// A scratch folder tree: make(relative) creates folders below the root; path() names them.
class ScratchTree
{
public:
    bool isValid() const { return m_dir.isValid(); }
    // The absolute path of a folder below the root ('/' separators).
    QString path(const QString& relative = QString()) const
    {
        return relative.isEmpty() ? QDir::cleanPath(m_dir.path())
                                  : QDir::cleanPath(m_dir.path() + QLatin1Char('/') + relative);
    }
    // Creates the folder and its parents; returns its path.
    QString make(const QString& relative) const
    {
        QDir().mkpath(path(relative));
        return path(relative);
    }

private:
    QTemporaryDir m_dir;
};

// Runs the given action on the modal window as soon as one is open (polling the event loop).
inline void whenModalOpens(std::function<void(QWidget*)> action)
{
    auto* timer = new QTimer(qApp);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, action = std::move(action)]() {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        action(modal);
    });
    timer->start();
}

// Lets pending deletions (a window closed from its title bar) happen now.
inline void flushDeletions()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}
