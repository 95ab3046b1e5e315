#include "waiting.hpp"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

bool WaitOnThread(const std::function<void()>& work, const std::function<bool(double)>& keepWaiting,
                  const std::function<void()>& stop) {
    std::mutex m;
    std::condition_variable cv;
    bool finished = false, stopped = false;
    std::thread worker([&] {
        work();
        std::lock_guard lock(m);
        finished = true;
        cv.notify_one();
    });
    const auto start = std::chrono::steady_clock::now();
    {
        std::unique_lock lock(m);
        while (!cv.wait_for(lock, std::chrono::milliseconds(50), [&] { return finished; })) {
            lock.unlock();
            const bool go = keepWaiting(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
            lock.lock();
            if (finished) break;
            if (!go) {
                stopped = true;
                lock.unlock();
                stop();
                lock.lock();
                cv.wait(lock, [&] { return finished; });
                break;
            }
        }
    }
    worker.join();
    return stopped;
}
