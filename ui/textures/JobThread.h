#pragma once

#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <atomic>
#include <cstdint>
#include <memory>
#include <utility>

namespace glintmark::ui {

// Runs a window's long jobs on a thread of their own, one at a time: each start() stops the job
// before it and waits for its thread, a job reads its stop flag and ends within moments, and the
// last job is stopped and waited for when the JobThread goes. What a job posts to its owner's
// thread is dropped on arrival once a later job has begun, so no old news reaches the window.
class JobThread
{
public:
    // One job, as its work sees it: whether it is asked to stop, and the way to its owner.
    class Job
    {
    public:
        // Whether the job is asked to stop.
        bool stopping() const { return m_stop->load(); }
        // Runs `call` on the owner's thread, unless a later job has begun by then.
        template <typename Call> void post(Call call) const
        {
            JobThread* thread = m_thread;
            const std::uint64_t generation = m_generation;
            QMetaObject::invokeMethod(
                thread->m_owner,
                [thread, generation, call = std::move(call)] {
                    if (thread->m_generation == generation)
                        call();
                },
                Qt::QueuedConnection);
        }
        // As post(), as the job's last word: the job counts as ended from then on.
        template <typename Call> void finish(Call call) const
        {
            JobThread* thread = m_thread;
            post([thread, call = std::move(call)] {
                thread->m_ended = true;
                call();
            });
        }

    private:
        friend class JobThread;
        Job(JobThread* thread, std::uint64_t generation)
            : m_thread(thread), m_generation(generation),
              m_stop(std::make_shared<std::atomic<bool>>(false))
        {}

        JobThread* m_thread;
        std::uint64_t m_generation;
        std::shared_ptr<std::atomic<bool>> m_stop;
    };

    // Jobs whose news goes to `owner`, which holds this JobThread.
    explicit JobThread(QObject* owner) : m_owner(owner) {}
    // Stops the job under way and waits for its thread.
    ~JobThread() { join(); }
    JobThread(const JobThread&) = delete;
    JobThread& operator=(const JobThread&) = delete;

    // Starts `work(job)` on a thread of its own, once the job before has ended.
    template <typename Work> void start(Work work)
    {
        join();
        ++m_generation;
        m_ended = false;
        const Job job(this, m_generation);
        m_stop = job.m_stop;
        m_thread = QThread::create([work = std::move(work), job] { work(job); });
        m_thread->start();
    }
    // Asks the job under way to stop.
    void stop()
    {
        if (m_stop)
            m_stop->store(true);
    }
    // Whether a job is under way: started, and its finish() not yet arrived.
    bool isRunning() const { return m_thread != nullptr && !m_ended; }

private:
    // Stops the job under way, waits for its thread, and drops what it still has queued.
    void join()
    {
        if (!m_thread)
            return;
        stop();
        m_thread->wait();
        delete m_thread;
        m_thread = nullptr; // not running, whatever m_ended says
        ++m_generation;
    }

    QObject* m_owner;
    QThread* m_thread = nullptr;
    std::shared_ptr<std::atomic<bool>> m_stop;
    std::uint64_t m_generation = 0; // of the job whose news is still wanted
    bool m_ended = true;
};

} // namespace glintmark::ui
