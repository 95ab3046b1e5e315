// The HTTP server's worker pool: complete requests wait in a bounded queue and run the handler on a
// worker thread; finished answers wait until the event loop collects them. A full queue refuses at
// once (the loop answers 503), so no client waits behind a queue that cannot drain. Each job carries
// a cancel flag that the loop sets when its client goes away; Stop sets every flag, lets the workers
// finish what they hold and joins them. `wake` is called, from a worker, after each answer is ready.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "http_server.hpp"

class HttpWorkers {
public:
    struct Done {
        uint64_t conn;  // the connection that asked
        HttpResponse response;
    };
    using Cancel = std::shared_ptr<std::atomic<bool>>;

    HttpWorkers(size_t workers, size_t maxQueue, HttpServer::Handler handler, std::function<void()> wake);
    ~HttpWorkers();  // stops, if Stop was not called
    HttpWorkers(const HttpWorkers&) = delete;
    HttpWorkers& operator=(const HttpWorkers&) = delete;

    // Queues a request; the returned flag cancels it. Null when the queue is full.
    Cancel Submit(uint64_t conn, HttpRequest request);
    // The answers ready since the last call, in the order they finished.
    std::deque<Done> TakeDone();
    void Stop();

private:
    struct Job {
        uint64_t conn;
        HttpRequest request;
        Cancel cancelled;
    };
    void loop();

    const size_t maxQueue_;
    const HttpServer::Handler handler_;
    const std::function<void()> wake_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Job> jobs_;
    std::vector<Cancel> running_;  // cancel flags of the jobs being run
    std::deque<Done> done_;
    bool quit_ = false;
    std::vector<std::thread> threads_;
};
