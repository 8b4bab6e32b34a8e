#pragma once

#include "engine/ExtractTypes.h"
#include "features/game/Sha256.h"
#include "features/putback/EditPlan.h"
#include "ui/textures/JobThread.h"

#include <QObject>

#include <filesystem>
#include <optional>

namespace glintmark::ui {

// Judges a replacement the moment it is asked for, on a thread of its own, as the put-back will
// judge it (features::planEdit): the edited file and the texture are read there, never on the
// window's thread. A new plan stops the one still going; only the last is told.
class ReplacePlanner : public QObject
{
    Q_OBJECT

public:
    explicit ReplacePlanner(QObject* parent = nullptr);
    // Stops the plan under way and waits for its thread, which ends within moments.
    ~ReplacePlanner() override;

    // Plans replacing image `original` of `level` (the texture `texture`) with the file `edit`,
    // encoding it again when it does not fit and `fit` is set; planned() follows with `ticket`.
    void plan(quint64 ticket, const std::filesystem::path& edit, const std::filesystem::path& level,
              const ImageInfo& original, bool fit, const std::optional<features::Digest>& texture);
    bool isPlanning() const { return m_job.isRunning(); }

signals:
    // The plan asked for with `ticket` is ready.
    void planned(quint64 ticket, const glintmark::features::EditPlan& plan);

private:
    JobThread m_job;
};

} // namespace glintmark::ui

Q_DECLARE_METATYPE(glintmark::features::EditPlan)
