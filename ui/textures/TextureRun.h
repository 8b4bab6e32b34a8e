#pragma once

#include "features/ImageStatus.h"
#include "ui/textures/JobThread.h"

#include <QObject>
#include <QString>
#include <QVector>

#include <cstdint>
#include <filesystem>
#include <memory>

namespace glintmark::features {
class GameTextures;
}

namespace glintmark::ui {

// An image the listing found, with the level it is in (its place among the run's levels).
struct FoundImage
{
    int level = 0;
    features::CheckedImage image;
};

// How a listing ended, in the window's words: done, stopped, or the failure (the file and the
// system's reason).
struct ListingEnd
{
    bool stopped = false;
    bool failed = false;
    QString message; // empty when it completed
};

// Lists the textures of a level or a game folder on a thread of its own, through the features
// library's run over the sources (as the command line's --list does), with every texture's
// digest so that shared ones can be shown once. What it finds comes back as signals on the
// window's thread; the window never waits for it.
class TextureRun : public QObject
{
    Q_OBJECT

public:
    explicit TextureRun(QObject* parent = nullptr);
    // Stops the listing and waits for its thread, which ends within moments.
    ~TextureRun() override;

    // Starts listing `source`, decoding every image once its level is read when `check` is set
    // (as --check does); a listing still going is stopped first and nothing more of it is told.
    void start(const std::filesystem::path& source, bool check = false);
    // Asks the listing to stop; finished() follows, as stopped.
    void stop();
    bool isRunning() const { return m_job.isRunning(); }

signals:
    // A level is being read: its place, how many there are, its path in the game, and the file.
    void levelStarted(int index, int count, const QString& name, const QString& source);
    // Images found since the last batch, in order.
    void imagesFound(const QVector<glintmark::ui::FoundImage>& images);
    // How far the whole listing has got, 0 to 100.
    void progressed(int percent);
    // Every level is read: the distinct textures and where each is used.
    void indexed(const std::shared_ptr<const glintmark::features::GameTextures>& textures);
    // The listing is over.
    void finished(const glintmark::ui::ListingEnd& end);

private:
    class Listener;

    JobThread m_job;
};

} // namespace glintmark::ui

Q_DECLARE_METATYPE(glintmark::ui::FoundImage)
Q_DECLARE_METATYPE(glintmark::ui::ListingEnd)
