#include "workers.h"

namespace dwgserver {

Workers::Workers(unsigned threads, std::size_t queueLimit) : queueLimit_(queueLimit)
{
    for (unsigned i = 0; i < threads; ++i)
        threads_.emplace_back([this] { work(); });
}

Workers::~Workers()
{
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
        jobs_.clear();
    }
    queued_.notify_all();
    for (std::thread &thread : threads_)
        thread.join();
}

bool Workers::tryPush(std::function<void()> job)
{
    {
        std::lock_guard lock(mutex_);
        if (jobs_.size() >= queueLimit_)
            return false;
        jobs_.push_back(std::move(job));
    }
    queued_.notify_one();
    return true;
}

void Workers::work()
{
    for (;;) {
        std::unique_lock lock(mutex_);
        queued_.wait(lock, [this] { return closing_ || !jobs_.empty(); });
        if (jobs_.empty())
            return;
        std::function<void()> job = std::move(jobs_.front());
        jobs_.pop_front();
        lock.unlock();
        job();
    }
}

}  // namespace dwgserver
