#include "ui/textures/ReplacePlanner.h"

namespace glintmark::ui {

ReplacePlanner::ReplacePlanner(QObject* parent) : QObject(parent), m_job(this)
{
    qRegisterMetaType<features::EditPlan>();
}

ReplacePlanner::~ReplacePlanner() = default;

void ReplacePlanner::plan(quint64 ticket, const std::filesystem::path& edit,
                          const std::filesystem::path& level, const ImageInfo& original, bool fit,
                          const std::optional<features::Digest>& texture)
{
    m_job.start([this, ticket, edit, level, original, fit, texture](const JobThread::Job& job) {
        const features::EditPlan plan = features::planEdit(edit, level, original, fit, texture,
                                                           [job] { return !job.stopping(); });
        if (!job.stopping())
            job.finish([this, ticket, plan] { emit planned(ticket, plan); });
    });
}

} // namespace glintmark::ui
