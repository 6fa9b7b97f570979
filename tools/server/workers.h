// The extraction workers: a fixed number of threads behind a queue that
// holds a few jobs per worker. A job that finds the queue full is refused
// at once (the client is told to come back), so that memory and waiting
// stay bounded however many clients send drawings at the same time.
#ifndef DWGTEXT_SERVER_WORKERS_H
#define DWGTEXT_SERVER_WORKERS_H

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace dwgserver {

class Workers {
public:
    Workers(unsigned threads, std::size_t queueLimit);
    Workers(const Workers &) = delete;
    Workers &operator=(const Workers &) = delete;
    // Finishes the jobs under way, drops those queued, and ends the threads.
    ~Workers();

    // False when the queue is full; the job is not taken.
    bool tryPush(std::function<void()> job);

private:
    void work();

    std::size_t queueLimit_;
    std::mutex mutex_;
    std::condition_variable queued_;
    std::deque<std::function<void()>> jobs_;
    bool closing_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace dwgserver

#endif
