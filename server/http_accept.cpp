// Accepting connections within the process's file descriptors: a ceiling on connections, idle ones
// shed to make room, and a pause instead of a spin when the process has no descriptor left.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "http_loop.hpp"

namespace {

// Out of file descriptors, accepting pauses this long instead of spinning on the listening socket.
constexpr auto kAcceptPause = std::chrono::milliseconds(100);

}  // namespace

// Closes up to `count` connections that have sent nothing, oldest first; one whose request is
// already waiting in the socket is kept. How many it closed.
size_t HttpServer::Impl::shedIdle(size_t count) {
    std::vector<uint64_t> idle;
    for (auto& [id, c] : conns)
        if (c.state == State::Idle && c.in.empty()) idle.push_back(id);
    std::sort(idle.begin(), idle.end());
    size_t closed = 0;
    for (uint64_t id : idle) {
        if (closed == count) break;
        char byte;
        if (::recv(conns.at(id).fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) > 0) continue;
        close(id);
        ++closed;
    }
    return closed;
}

// Out of descriptors: the connections open now are more than the process can hold (its limit was
// lowered, or other files took descriptors), so the ceiling drops below them, leaving headroom for
// the database's own files, and room is made by closing idle connections; with none to close,
// accepting rests a moment instead of spinning on a listening socket that stays readable.
void HttpServer::Impl::outOfDescriptors() {
    constexpr size_t kHeadroom = 8;
    if (conns.size() > kHeadroom * 2) limits.maxConnections = std::min(limits.maxConnections, conns.size() - kHeadroom);
    if (!loggedNoDescriptors) {
        std::fprintf(stderr, "qelserver: sem descritores de arquivo livres (%zu conexões abertas); conexões ociosas são fechadas\n",
                     conns.size());
        std::fflush(stderr);
        loggedNoDescriptors = true;
    }
    if (shedIdle(16) > 0) return;
    epoll_event ev{};
    ev.data.u64 = 0;
    epoll_ctl(epollFd, EPOLL_CTL_MOD, listenFd, &ev);
    acceptPaused = true;
    acceptResume = Clock::now() + kAcceptPause;
}

void HttpServer::Impl::resumeAccepting() {
    if (!acceptPaused || Clock::now() < acceptResume || listenFd < 0) return;
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = 0;
    epoll_ctl(epollFd, EPOLL_CTL_MOD, listenFd, &ev);
    acceptPaused = false;
}

void HttpServer::Impl::accept() {
    for (;;) {
        sockaddr_storage from{};
        socklen_t fromLength = sizeof from;
        int fd = ::accept4(listenFd, reinterpret_cast<sockaddr*>(&from), &fromLength, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                outOfDescriptors();
                if (!acceptPaused) continue;
            }
            return;  // EAGAIN, or a transient error: the next event retries
        }
        int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        Conn c;
        c.fd = fd;
        char address[INET6_ADDRSTRLEN] = "";
        if (from.ss_family == AF_INET) inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(&from)->sin_addr, address, sizeof address);
        else if (from.ss_family == AF_INET6) inet_ntop(AF_INET6, &reinterpret_cast<sockaddr_in6*>(&from)->sin6_addr, address, sizeof address);
        c.peer = address;
        c.id = nextId++;
        c.deadline = Clock::now() + limits.keepAlive;
        epoll_event ev{};
        ev.events = EPOLLIN | EPOLLRDHUP;
        ev.data.u64 = c.id;
        epoll_ctl(epollFd, EPOLL_CTL_ADD, fd, &ev);
        c.events = ev.events;
        Conn& stored = conns.emplace(c.id, std::move(c)).first->second;
        if (conns.size() > limits.maxConnections) {
            // A connection that has sent nothing yields its place; with none, the newcomer hears 503.
            if (shedIdle(1) == 0)
                respond(stored, FailureResponse(503, "Servidor de aplicação com conexões demais; tente de novo em instantes"), true, false);
        }
    }
}

int HttpServer::Listen(const std::string& host, int port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    std::string service = std::to_string(port);
    if (getaddrinfo(host.empty() ? nullptr : host.c_str(), service.c_str(), &hints, &found) != 0 || !found)
        throw std::runtime_error("endereço desconhecido: " + host);
    int fd = -1;
    for (addrinfo* a = found; a && fd < 0; a = a->ai_next) {
        fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) continue;
        int one = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (::bind(fd, a->ai_addr, a->ai_addrlen) != 0 || ::listen(fd, impl_->limits.backlog) != 0) {
            ::close(fd);
            fd = -1;
        }
    }
    freeaddrinfo(found);
    if (fd < 0) throw std::runtime_error(std::string("não foi possível escutar: ") + std::strerror(errno));
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    impl_->listenFd = fd;
    return addr.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&addr)->sin6_port)
                                      : ntohs(reinterpret_cast<sockaddr_in*>(&addr)->sin_port);
}
