#include "ui/textures/ReplacePlanner.h"

#include <QMetaObject>

namespace glintmark::ui {

ReplacePlanner::ReplacePlanner(QObject* parent) : QObject(parent)
{
    qRegisterMetaType<features::EditPlan>();
}

ReplacePlanner::~ReplacePlanner()
{
    join();
}

void ReplacePlanner::plan(quint64 ticket, const std::filesystem::path& edit,
                          const std::filesystem::path& level, const ImageInfo& original, bool fit,
                          const std::optional<features::Digest>& texture)
{
    join();
    ++m_generation;
    m_ended = false;
    auto stop = std::make_shared<std::atomic<bool>>(false);
    m_stop = stop;
    const std::uint64_t generation = m_generation;
    m_thread =
        QThread::create([this, stop, generation, ticket, edit, level, original, fit, texture] {
            const features::EditPlan plan = features::planEdit(edit, level, original, fit, texture,
                                                               [stop] { return !stop->load(); });
            if (stop->load())
                return;
            QMetaObject::invokeMethod(
                this,
                [this, generation, ticket, plan] {
                    if (m_generation != generation)
                        return;
                    m_ended = true;
                    emit planned(ticket, plan);
                },
                Qt::QueuedConnection);
        });
    m_thread->start();
}

void ReplacePlanner::join()
{
    if (!m_thread)
        return;
    if (m_stop)
        m_stop->store(true);
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
    ++m_generation;
    m_ended = true;
}

} // namespace glintmark::ui
