#pragma once
// Who may use a link now: the thread that connected it owns it, and one call
// at a time runs. Owner and busy flag change together under one lock, so a
// call never starts on a link another thread is moving or releasing.
// Plain standard threads: the owner may be a QThread, a std::thread or a
// thread of a host that knows nothing of Qt.

#include <condition_variable>
#include <mutex>
#include <thread>

class LinkGuard
{
public:
    enum class Entry {
        Owner,    // reads, writes, disconnect: the owner only (anyone before a first connect)
        Connect,  // any thread while no call runs; the caller becomes the owner
        Release   // any thread; waits (bounded) for a running call to end
    };

    // Takes the link for one call; false when refused.
    bool enter(Entry entry, int waitMs = 0);
    void leave();
    // The link has nothing left to own (after a release).
    void forgetOwner();
    // A call of the calling thread is running (a call made from inside it).
    bool runningHere() const;

private:
    bool ownerOrNone() const;

    mutable std::mutex m_mutex;
    std::condition_variable m_idle;
    std::thread::id m_owner;  // default id: no owner
    std::thread::id m_running;
    bool m_busy = false;
};

// Takes the guard for the scope of one call.
class LinkCall
{
public:
    LinkCall(LinkGuard &guard, LinkGuard::Entry entry, int waitMs = 0)
        : m_guard(guard), m_entered(guard.enter(entry, waitMs)) {}
    ~LinkCall()
    {
        if (m_entered)
            m_guard.leave();
    }
    LinkCall(const LinkCall &) = delete;
    LinkCall &operator=(const LinkCall &) = delete;
    bool entered() const { return m_entered; }

private:
    LinkGuard &m_guard;
    bool m_entered;
};
