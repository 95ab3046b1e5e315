// HttpServer: the application server's HTTP/1.1 front. One thread owns every socket and does all
// reading and writing without blocking (epoll); a pool of workers runs the handler on complete
// requests only. So a slow or idle client costs a socket, never a worker, and a full queue is
// answered at once with 503 instead of making clients wait.
//
// Limits: a request head must arrive within the read timeout of its first byte, and a body may stall
// no longer than the read timeout; a body larger than the cap is answered 413 without reading it; an
// answer whose reader stalls longer than the write timeout is dropped; an idle kept-alive connection
// closes after the keep-alive time. A worker's job is cancelled (its flag set) when its client goes
// away and when the server stops. Answers are shared, never copied: the handler may return a body
// that a cache also holds.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct HttpRequest {
    std::string method, target, version;
    std::vector<std::pair<std::string, std::string>> headers;  // names in lower case
    std::string body;
    std::string peer;  // the client's address, as text
    // The value of a header (name in lower case), or nullptr.
    const std::string* Header(std::string_view name) const;
};

struct HttpResponse {
    int status = 200;
    std::string contentType = "application/json; charset=utf-8";
    std::vector<std::pair<std::string, std::string>> headers;  // extra headers
    std::shared_ptr<const std::string> body;                   // may be shared with a cache
};

struct HttpLimits {
    size_t maxBody = 1 << 20;
    size_t maxHead = 16 << 10;
    std::chrono::milliseconds readTimeout{5000}, writeTimeout{5000}, keepAlive{5000};
    size_t workers = 8;
    size_t maxQueue = 64;        // complete requests waiting for a worker
    size_t maxConnections = 4000;
    int backlog = 1024;
};

class HttpServer {
public:
    // Runs on a worker; `cancelled` turns true when the client has gone or the server stops.
    using Handler = std::function<HttpResponse(const HttpRequest&, const std::atomic<bool>& cancelled)>;

    HttpServer(HttpLimits limits, Handler handler);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Binds and listens; port 0 takes any free port. Returns the port, or raises std::runtime_error.
    int Listen(const std::string& host, int port);
    // Serves until Stop; then answers the calls in flight 503 ("O servidor de aplicação está sendo
    // encerrado"), cancels the jobs that run, waits for the workers and closes everything.
    void Run();
    // From any thread (not from a signal handler).
    void Stop();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Reads a request head (request line and headers, without the blank line that ends them) into the
// request. False, with the status and reason to answer, when it cannot be served: 400 when it is
// malformed, 411 for a body without a length, 413 for a body past `maxBody`.
bool ParseHttpHead(std::string_view head, size_t maxBody, HttpRequest& request, size_t& bodyLength, bool& keepAlive,
                   int& status, std::string& reason);

// A plain answer: `{"result":{"ok":false,"error":…},"args":[]}` with that status.
HttpResponse FailureResponse(int status, const std::string& message);
