// The server's workers: a fixed number of threads, and a queue of accepted
// connections that holds at most a few per worker. When it is full the
// accepting thread waits, and further clients wait in the kernel's backlog
// instead of in our memory. A worker gives the client of each connection
// it takes headLimit to send a request's head (headclock.h).
#ifndef DWGTEXT_SERVER_WORKERS_H
#define DWGTEXT_SERVER_WORKERS_H

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace dwgserver {

class BoundedWorkers final : public httplib::TaskQueue {
public:
    static constexpr std::size_t kQueuedPerWorker = 4;

    BoundedWorkers(unsigned workers, std::chrono::seconds headLimit);
    void enqueue(std::function<void()> job) override;
    // Runs the jobs queued, then ends the threads.
    void shutdown() override;

private:
    void work();

    std::size_t capacity_;
    std::chrono::seconds headLimit_;
    std::mutex mutex_;
    std::condition_variable queued_;
    std::condition_variable taken_;
    std::deque<std::function<void()>> jobs_;
    bool closing_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace dwgserver

#endif
