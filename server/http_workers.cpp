#include "http_workers.hpp"

#include <algorithm>
#include <exception>

HttpWorkers::HttpWorkers(size_t workers, size_t maxQueue, HttpServer::Handler handler, std::function<void()> wake)
    : maxQueue_(maxQueue), handler_(std::move(handler)), wake_(std::move(wake)) {
    for (size_t i = 0; i < std::max<size_t>(1, workers); ++i) threads_.emplace_back([this] { loop(); });
}

HttpWorkers::~HttpWorkers() { Stop(); }

HttpWorkers::Cancel HttpWorkers::Submit(uint64_t conn, HttpRequest request) {
    std::unique_lock lock(mutex_);
    if (jobs_.size() >= maxQueue_) return nullptr;
    Cancel cancelled = std::make_shared<std::atomic<bool>>(false);
    jobs_.push_back({conn, std::move(request), cancelled});
    lock.unlock();
    ready_.notify_one();
    return cancelled;
}

std::deque<HttpWorkers::Done> HttpWorkers::TakeDone() {
    std::deque<Done> ready;
    std::lock_guard lock(mutex_);
    ready.swap(done_);
    return ready;
}

void HttpWorkers::Stop() {
    {
        std::lock_guard lock(mutex_);
        if (quit_ && threads_.empty()) return;
        quit_ = true;
        for (auto& j : jobs_) *j.cancelled = true;
        for (auto& flag : running_) *flag = true;
    }
    ready_.notify_all();
    for (auto& t : threads_) t.join();
    threads_.clear();
}

void HttpWorkers::loop() {
    for (;;) {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [&] { return quit_ || !jobs_.empty(); });
        if (quit_ && jobs_.empty()) return;
        Job job = std::move(jobs_.front());
        jobs_.pop_front();
        running_.push_back(job.cancelled);
        lock.unlock();
        HttpResponse r;
        if (*job.cancelled) {
            r = FailureResponse(503, "Requisição cancelada");
        } else {
            try {
                r = handler_(job.request, *job.cancelled);
            } catch (const std::exception& e) {
                r = FailureResponse(500, e.what());
            }
        }
        lock.lock();
        running_.erase(std::find(running_.begin(), running_.end(), job.cancelled));
        done_.push_back({job.conn, std::move(r)});
        lock.unlock();
        wake_();
    }
}
