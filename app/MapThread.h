// The thread the map is drawn and rebuilt on, so that the window answers while a frame or a
// command runs. It runs one job at a time. The chart and the session belong to the job while it
// runs: the GUI thread touches them again only once Busy() is false or Wait() has returned, and
// the lock those take orders everything the job wrote before what the GUI thread reads after.
#pragma once

#include <QObject>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class TMapThread : public QObject
{
    Q_OBJECT
public:
    explicit TMapThread(QObject *parent = nullptr);
    // Waits for the running job and ends the thread.
    ~TMapThread() override;
    TMapThread(const TMapThread &) = delete;
    TMapThread &operator=(const TMapThread &) = delete;

    // Starts job with the cancel flag cleared; false, and nothing started, while one runs. A job
    // must not let an exception out.
    bool Start(std::function<void()> job);
    // True from Start until the job has ended.
    bool Busy() const;
    // Blocks until the running job has ended (at once when none runs).
    void Wait();
    // Asks the running job to stop early; it reads Cancelled().
    void Cancel() { m_cancel.store(true, std::memory_order_relaxed); }
    const std::atomic<bool> &CancelFlag() const { return m_cancel; }
    bool OnThread() const { return std::this_thread::get_id() == m_thread.get_id(); }

signals:
    // On the GUI thread, after a job has ended (it may have been waited for already).
    void Finished();

private slots:
    void Announce() { emit Finished(); }

private:
    void Loop();

    mutable std::mutex m_lock;
    std::condition_variable m_wake;
    std::condition_variable m_ended;
    std::function<void()> m_job;
    bool m_running = false;
    bool m_quit = false;
    std::atomic<bool> m_cancel{false};
    std::thread m_thread;
};
