// The HTTP server's event loop (private to the server): one thread owns every socket. Each connection
// goes Idle → Head → Body → Busy (its request with a worker) → Write → Idle again, or to Linger after
// an early answer (the rest of its body is read away, for a while, so the client reads the answer
// instead of a reset). Every state but Busy has a deadline; expire() acts on those that pass.
// Connections are keyed by a number that is never reused, so an answer for a closed one is dropped.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "http_server.hpp"
#include "http_workers.hpp"

// What a call hears when the server stops under it.
inline constexpr const char* kStopping = "O servidor de aplicação está sendo encerrado";

struct HttpServer::Impl {
    using Clock = std::chrono::steady_clock;
    enum class State { Idle, Head, Body, Busy, Write, Linger };

    struct Conn {
        int fd = -1;
        uint64_t id = 0;
        State state = State::Idle;
        std::string in;
        size_t headEnd = 0;  // bytes of `in` taken by the current request's head
        size_t bodyLength = 0;
        HttpRequest request;
        bool keepAlive = true;
        bool closeAfterWrite = false;
        bool lingerAfterWrite = false;  // an early answer: the client may still be sending its body
        size_t lingerLeft = 0;          // bytes still to be read away before closing
        std::string outHead;
        std::shared_ptr<const std::string> outBody;
        size_t outDone = 0;
        Clock::time_point deadline;
        HttpWorkers::Cancel cancelled;
        uint32_t events = 0;
        std::string peer;
    };

    HttpLimits limits;
    HttpServer::Handler handler;
    int listenFd = -1, epollFd = -1;
    const int wakeFd;
    std::atomic<bool> stopping{false};
    uint64_t nextId = 2;  // 0: the listening socket, 1: the wake-up
    std::unordered_map<uint64_t, Conn> conns;
    std::unique_ptr<HttpWorkers> workers;  // while Run runs

    bool acceptPaused = false;  // out of descriptors: the listening socket rests a moment
    Clock::time_point acceptResume;
    bool loggedNoDescriptors = false;

    // The wake-up exists before Run, so that Stop from another thread never sees it change.
    Impl(HttpLimits l, HttpServer::Handler h);
    ~Impl();
    void wake();

    // Connections (http_connections.cpp).
    void watch(Conn& c, uint32_t events);
    void close(uint64_t id);
    void read(Conn& c, bool peerClosed);
    void process(Conn& c);
    bool parseHead(Conn& c, std::string_view head);
    void dispatch(Conn& c);
    void respond(Conn& c, HttpResponse r, bool close = false, bool linger = true);
    void write(Conn& c);
    void startLinger(Conn& c);
    void linger(Conn& c);
    void expire();
    void collect();
    void event(uint64_t id, uint32_t events);
    // Stopping: every call in flight is answered 503 (kStopping) rather than left without an answer,
    // and what is being written is given a moment to go out.
    void farewell();

    // Accepting, within the process's descriptors (http_accept.cpp).
    void accept();
    size_t shedIdle(size_t count);
    void outOfDescriptors();
    void resumeAccepting();
};
