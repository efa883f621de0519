#include "app/MapThread.h"

#include <utility>

TMapThread::TMapThread(QObject *parent) : QObject(parent), m_thread([this] { Loop(); }) {}

TMapThread::~TMapThread()
{
    {
        std::unique_lock hold(m_lock);
        m_ended.wait(hold, [this] { return !m_running; });
        m_quit = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

bool TMapThread::Start(std::function<void()> job)
{
    {
        const std::lock_guard hold(m_lock);
        if (m_running)
            return false;
        m_job = std::move(job);
        m_running = true;
        m_cancel.store(false, std::memory_order_relaxed);
    }
    m_wake.notify_one();
    return true;
}

bool TMapThread::Busy() const
{
    const std::lock_guard hold(m_lock);
    return m_running;
}

void TMapThread::Wait()
{
    std::unique_lock hold(m_lock);
    m_ended.wait(hold, [this] { return !m_running; });
}

void TMapThread::Loop()
{
    std::unique_lock hold(m_lock);
    for (;;) {
        m_wake.wait(hold, [this] { return m_quit || m_job; });
        if (m_quit)
            return;
        std::function<void()> job = std::move(m_job);
        m_job = nullptr;
        hold.unlock();
        job();
        job = nullptr;
        hold.lock();
        m_running = false;
        m_ended.notify_all();
        // Named, not a functor: the queued call carries nothing this thread wrote.
        QMetaObject::invokeMethod(this, "Announce", Qt::QueuedConnection);
    }
}
