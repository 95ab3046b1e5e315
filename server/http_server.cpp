// The server's loop: readiness events to the connections, the workers' answers back to them, the
// deadlines swept every 100 ms; and the order of stopping.
#include "http_server.hpp"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <stdexcept>

#include "http_loop.hpp"

HttpServer::Impl::Impl(HttpLimits l, HttpServer::Handler h)
    : limits(std::move(l)), handler(std::move(h)), wakeFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

HttpServer::Impl::~Impl() {
    if (workers) workers->Stop();
    for (auto& [id, c] : conns) ::close(c.fd);
    for (int fd : {listenFd, epollFd, wakeFd})
        if (fd >= 0) ::close(fd);
}

void HttpServer::Impl::wake() {
    uint64_t one = 1;
    ssize_t n = ::write(wakeFd, &one, sizeof one);
    (void)n;
}

HttpServer::HttpServer(HttpLimits limits, Handler handler) : impl_(std::make_unique<Impl>(std::move(limits), std::move(handler))) {}

HttpServer::~HttpServer() = default;

void HttpServer::Stop() {
    impl_->stopping = true;
    if (impl_->wakeFd >= 0) impl_->wake();
}

void HttpServer::Run() {
    Impl& s = *impl_;
    s.epollFd = epoll_create1(EPOLL_CLOEXEC);
    if (s.epollFd < 0 || s.wakeFd < 0 || s.listenFd < 0) throw std::runtime_error("servidor HTTP não preparado");
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = 0;
    epoll_ctl(s.epollFd, EPOLL_CTL_ADD, s.listenFd, &ev);
    ev.data.u64 = 1;
    epoll_ctl(s.epollFd, EPOLL_CTL_ADD, s.wakeFd, &ev);
    s.workers = std::make_unique<HttpWorkers>(s.limits.workers, s.limits.maxQueue, s.handler, [&s] { s.wake(); });

    epoll_event events[256];
    auto lastSweep = Impl::Clock::now();
    while (!s.stopping) {
        int n = epoll_wait(s.epollFd, events, 256, 100);
        for (int i = 0; i < n && !s.stopping; ++i) {
            uint64_t id = events[i].data.u64;
            if (id == 0) s.accept();
            else if (id == 1) s.collect();
            else s.event(id, events[i].events);
        }
        s.resumeAccepting();
        if (Impl::Clock::now() - lastSweep > std::chrono::milliseconds(100)) {
            s.expire();
            lastSweep = Impl::Clock::now();
        }
    }

    // Stopping: no new connections, the calls in flight told so, every job cancelled, the workers
    // finish what they hold.
    epoll_ctl(s.epollFd, EPOLL_CTL_DEL, s.listenFd, nullptr);
    ::close(s.listenFd);
    s.listenFd = -1;
    s.farewell();
    s.workers->Stop();
}
