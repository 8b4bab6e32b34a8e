#pragma once

#include "ui/textures/JobThread.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>

namespace glintmark::ui {

// What an export writes: every image as the command line extracts it, or only the chosen ones
// (by each level's name in the run, as the index spells it), trimmed or whole, duplicates as
// links or not.
struct ExportChoices
{
    bool trim = false;
    bool dedupe = false;
    bool selectedOnly = false;
    std::map<std::string, std::set<std::uint64_t>> chosen{}; // with selectedOnly
};

// How an export ended, in the window's words.
struct ExportEnd
{
    bool stopped = false;
    bool failed = false;
    std::uint64_t written = 0; // images written
    QString folder;            // where they went
    QString message;           // every failure: the file and the system's reason
};

// Extracts a level or a game folder into a chosen folder on a thread of its own, through the
// features library's run over the sources, as the command line's -o does (with its index); the
// window hears its progress and its end as signals on its own thread.
class TextureExport : public QObject
{
    Q_OBJECT

public:
    explicit TextureExport(QObject* parent = nullptr);
    // Stops the export and waits for its thread, which ends within moments.
    ~TextureExport() override;

    // Extracts `source` into `folder`; an export still going is stopped first.
    void start(const std::filesystem::path& source, const std::filesystem::path& folder,
               const ExportChoices& choices);
    // Asks the export to stop; finished() follows, as stopped.
    void stop();
    bool isRunning() const { return m_job.isRunning(); }

signals:
    // How far the export has got, 0 to 100.
    void progressed(int percent);
    // The export is over.
    void finished(const glintmark::ui::ExportEnd& end);

private:
    class Listener;

    JobThread m_job;
};

} // namespace glintmark::ui

Q_DECLARE_METATYPE(glintmark::ui::ExportEnd)
