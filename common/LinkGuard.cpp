#include "LinkGuard.h"

#include <chrono>

bool LinkGuard::ownerOrNone() const
{
    return m_owner == std::thread::id() || m_owner == std::this_thread::get_id();
}

bool LinkGuard::enter(Entry entry, int waitMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    switch (entry) {
    case Entry::Owner:
        if (m_busy || !ownerOrNone())
            return false;
        break;
    case Entry::Connect:
        if (m_busy)
            return false;
        m_owner = std::this_thread::get_id();
        break;
    case Entry::Release:
        if (m_busy && m_running == std::this_thread::get_id())
            return false;  // from inside a running call: that call releases
        if (!m_idle.wait_for(lock, std::chrono::milliseconds(waitMs), [this] { return !m_busy; }))
            return false;
        break;
    }
    m_busy = true;
    m_running = std::this_thread::get_id();
    return true;
}

void LinkGuard::leave()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_busy = false;
        m_running = std::thread::id();
    }
    m_idle.notify_all();
}

void LinkGuard::forgetOwner()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_owner = std::thread::id();
}

bool LinkGuard::runningHere() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_busy && m_running == std::this_thread::get_id();
}
