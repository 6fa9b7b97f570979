#include "workers.h"

#include "headclock.h"

namespace dwgserver {

BoundedWorkers::BoundedWorkers(unsigned workers, std::chrono::seconds headLimit)
    : capacity_(workers * kQueuedPerWorker), headLimit_(headLimit)
{
    for (unsigned i = 0; i < workers; ++i)
        threads_.emplace_back([this] { work(); });
}

void BoundedWorkers::enqueue(std::function<void()> job)
{
    std::unique_lock lock(mutex_);
    taken_.wait(lock, [this] { return jobs_.size() < capacity_; });
    jobs_.push_back(std::move(job));
    queued_.notify_one();
}

void BoundedWorkers::shutdown()
{
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
    }
    queued_.notify_all();
    for (std::thread &thread : threads_)
        thread.join();
}

void BoundedWorkers::work()
{
    for (;;) {
        std::unique_lock lock(mutex_);
        queued_.wait(lock, [this] { return closing_ || !jobs_.empty(); });
        if (jobs_.empty())
            return;
        std::function<void()> job = std::move(jobs_.front());
        jobs_.pop_front();
        taken_.notify_one();
        lock.unlock();
        armHeadDeadline(headLimit_);
        job();
        disarmHeadDeadline();
    }
}

}  // namespace dwgserver
