// Reading several drawings at a time while printing them in input order.
#ifndef DWGTEXT_RUNNER_H
#define DWGTEXT_RUNNER_H

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace dwgtext {

// Calls work(i) for every i below count on up to `jobs` threads, and
// emit(i, result) on the calling thread in order of i, each as soon as it
// and all before it are done, until emit answers false: then no more work
// starts and the call returns once the work under way is done. Sessions
// share nothing, so work may run in parallel; emit never does.
template <class Result, class Work, class Emit>
void runInOrder(std::size_t count, unsigned jobs, Work work, Emit emit)
{
    if (jobs <= 1 || count <= 1) {
        for (std::size_t i = 0; i < count; ++i) {
            Result result = work(i);
            if (!emit(i, result))
                return;
        }
        return;
    }

    std::vector<std::optional<Result>> results(count);
    std::mutex mutex;
    std::condition_variable finished;
    std::atomic<std::size_t> next{0};
    auto worker = [&] {
        for (std::size_t i = next++; i < count; i = next++) {
            Result result = work(i);
            std::lock_guard lock(mutex);
            results[i] = std::move(result);
            finished.notify_one();
        }
    };

    std::vector<std::jthread> workers;
    for (std::size_t n = std::min<std::size_t>(jobs, count); n > 0; --n)
        workers.emplace_back(worker);
    for (std::size_t i = 0; i < count; ++i) {
        std::unique_lock lock(mutex);
        finished.wait(lock, [&] { return results[i].has_value(); });
        Result result = std::move(*results[i]);
        results[i].reset();
        lock.unlock();
        if (!emit(i, result)) {
            next = count;
            return;
        }
    }
}

}  // namespace dwgtext

#endif
