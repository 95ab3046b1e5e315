// The server's connections: reading a request, handing it to a worker, writing the answer, lingering
// after an early one, and the deadlines of each state (see http_loop.hpp).
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "http_loop.hpp"
#include "http_wire.hpp"

namespace {

// After an early answer the client may still be sending its body; reading it away for a while lets
// the client read the answer instead of a reset.
constexpr auto kLingerTime = std::chrono::seconds(2);
constexpr size_t kLingerBytes = size_t{64} << 20;
constexpr auto kFarewellTime = std::chrono::milliseconds(500);

}  // namespace

void HttpServer::Impl::watch(Conn& c, uint32_t events) {
    if (c.events == events) return;
    epoll_event ev{};
    ev.events = events;
    ev.data.u64 = c.id;
    epoll_ctl(epollFd, EPOLL_CTL_MOD, c.fd, &ev);
    c.events = events;
}

void HttpServer::Impl::close(uint64_t id) {
    auto it = conns.find(id);
    if (it == conns.end()) return;
    if (it->second.cancelled) *it->second.cancelled = true;
    epoll_ctl(epollFd, EPOLL_CTL_DEL, it->second.fd, nullptr);
    ::close(it->second.fd);
    conns.erase(it);
}

// Queues an answer on the connection and starts writing it.
void HttpServer::Impl::respond(Conn& c, HttpResponse r, bool close, bool linger) {
    if (close) c.keepAlive = false;
    c.lingerAfterWrite = close && linger;
    c.outHead = ResponseHead(r, c.keepAlive);
    c.outBody = r.status == 304 ? nullptr : std::move(r.body);
    c.outDone = 0;
    c.closeAfterWrite = !c.keepAlive;
    c.state = State::Write;
    c.cancelled.reset();
    c.deadline = Clock::now() + limits.writeTimeout;
    watch(c, EPOLLOUT | EPOLLRDHUP);
    write(c);
}

void HttpServer::Impl::write(Conn& c) {
    for (;;) {
        size_t headLeft = c.outDone < c.outHead.size() ? c.outHead.size() - c.outDone : 0;
        size_t bodySize = c.outBody ? c.outBody->size() : 0;
        size_t bodyDone = c.outDone > c.outHead.size() ? c.outDone - c.outHead.size() : 0;
        if (headLeft == 0 && bodyDone >= bodySize) break;
        iovec iov[2];
        int n = 0;
        if (headLeft) iov[n++] = {const_cast<char*>(c.outHead.data()) + c.outDone, headLeft};
        if (bodyDone < bodySize) iov[n++] = {const_cast<char*>(c.outBody->data()) + bodyDone, bodySize - bodyDone};
        msghdr msg{};
        msg.msg_iov = iov;
        msg.msg_iovlen = static_cast<size_t>(n);
        ssize_t sent = ::sendmsg(c.fd, &msg, MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK) return;
            if (errno == EINTR) continue;
            return close(c.id);
        }
        c.outDone += static_cast<size_t>(sent);
        c.deadline = Clock::now() + limits.writeTimeout;
    }
    // Written in full.
    if (c.closeAfterWrite && c.lingerAfterWrite) return startLinger(c);
    if (c.closeAfterWrite) return close(c.id);
    c.outHead.clear();
    c.outBody.reset();
    c.in.erase(0, c.headEnd + c.bodyLength);
    c.headEnd = c.bodyLength = 0;
    c.request = {};
    c.state = State::Idle;
    c.deadline = Clock::now() + limits.keepAlive;
    watch(c, EPOLLIN | EPOLLRDHUP);
    process(c);  // a request that came in the meantime
}

void HttpServer::Impl::startLinger(Conn& c) {
    ::shutdown(c.fd, SHUT_WR);
    c.state = State::Linger;
    c.in.clear();
    c.outHead.clear();
    c.outBody.reset();
    c.lingerLeft = kLingerBytes;
    c.deadline = Clock::now() + kLingerTime;
    watch(c, EPOLLIN | EPOLLRDHUP);
}

void HttpServer::Impl::linger(Conn& c) {
    char buf[65536];
    for (;;) {
        ssize_t n = ::recv(c.fd, buf, sizeof buf, 0);
        if (n > 0) {
            if (static_cast<size_t>(n) >= c.lingerLeft) return close(c.id);
            c.lingerLeft -= static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        return close(c.id);  // the client has closed too
    }
}

// Takes what the buffer holds as far as it goes.
void HttpServer::Impl::process(Conn& c) {
    uint64_t id = c.id;
    if (c.state == State::Idle || c.state == State::Head) {
        if (c.in.empty()) return;
        if (c.state == State::Idle) {
            c.state = State::Head;
            c.deadline = Clock::now() + limits.readTimeout;  // the whole head within the read timeout
        }
        size_t end = c.in.find("\r\n\r\n");
        if (end == std::string::npos) {
            if (c.in.size() > limits.maxHead) respond(c, FailureResponse(431, "Cabeçalho da requisição grande demais"), true);
            return;
        }
        if (end + 4 > limits.maxHead) return respond(c, FailureResponse(431, "Cabeçalho da requisição grande demais"), true);
        c.headEnd = end + 4;
        if (!parseHead(c, std::string_view(c.in).substr(0, end))) return;
        if (!conns.count(id)) return;
        c.state = State::Body;
        c.deadline = Clock::now() + limits.readTimeout;
    }
    if (c.state == State::Body) {
        if (c.in.size() < c.headEnd + c.bodyLength) return;
        c.request.body = c.in.substr(c.headEnd, c.bodyLength);
        c.request.peer = c.peer;
        dispatch(c);
    }
}

bool HttpServer::Impl::parseHead(Conn& c, std::string_view head) {
    int status = 0;
    std::string why;
    if (!ParseHttpHead(head, limits.maxBody, c.request, c.bodyLength, c.keepAlive, status, why)) {
        // Answered before any body is read; the connection closes so nothing more is taken.
        respond(c, FailureResponse(status, why), true);
        return false;
    }
    if (HasHeaderToken(c.request.Header("expect"), "100-continue") && c.in.size() < c.headEnd + c.bodyLength) {
        static const char kContinue[] = "HTTP/1.1 100 Continue\r\n\r\n";
        ssize_t n = ::send(c.fd, kContinue, sizeof kContinue - 1, MSG_NOSIGNAL);
        (void)n;
    }
    return true;
}

void HttpServer::Impl::dispatch(Conn& c) {
    if (stopping) return respond(c, FailureResponse(503, kStopping), true, false);
    HttpWorkers::Cancel cancelled = workers->Submit(c.id, std::move(c.request));
    c.request = {};
    if (!cancelled) return respond(c, FailureResponse(503, "Servidor de aplicação ocupado; tente de novo em instantes"), true);
    c.state = State::Busy;
    c.cancelled = std::move(cancelled);
    watch(c, EPOLLRDHUP);  // only to learn that the client has gone
}

void HttpServer::Impl::read(Conn& c, bool peerClosed) {
    char buf[65536];
    for (;;) {
        ssize_t n = ::recv(c.fd, buf, sizeof buf, 0);
        if (n > 0) {
            c.in.append(buf, static_cast<size_t>(n));
            if (c.state == State::Body) c.deadline = Clock::now() + limits.readTimeout;  // progress
            // Never hold more than one request's worth beyond what is being parsed.
            if (c.in.size() > c.headEnd + std::max(c.bodyLength, limits.maxHead) + sizeof buf) break;
            continue;
        }
        if (n == 0) peerClosed = true;
        else if (errno == EINTR) continue;
        break;
    }
    uint64_t id = c.id;
    process(c);
    auto it = conns.find(id);
    if (peerClosed && it != conns.end() && it->second.state != State::Write) close(id);
}

void HttpServer::Impl::expire() {
    auto now = Clock::now();
    std::vector<uint64_t> late;
    for (auto& [id, c] : conns)
        if (c.state != State::Busy && c.deadline < now) late.push_back(id);
    for (uint64_t id : late) {
        Conn& c = conns.at(id);
        if (c.state == State::Linger) {
            close(id);
        } else if (c.state == State::Head || c.state == State::Body) {
            respond(c, FailureResponse(408, "Tempo esgotado ao receber a requisição"), true);
            auto it = conns.find(id);
            if (it != conns.end() && it->second.state == State::Write) it->second.deadline = now + std::chrono::milliseconds(200);
        } else {
            close(id);
        }
    }
}

void HttpServer::Impl::collect() {
    uint64_t count;
    ssize_t n = ::read(wakeFd, &count, sizeof count);
    (void)n;
    for (HttpWorkers::Done& d : workers->TakeDone()) {
        auto it = conns.find(d.conn);
        if (it == conns.end()) continue;  // its client has gone
        respond(it->second, std::move(d.response));
    }
}

void HttpServer::Impl::farewell() {
    std::vector<uint64_t> busy;
    for (auto& [id, c] : conns)
        if (c.state == State::Busy) busy.push_back(id);
    for (uint64_t id : busy) {
        Conn& c = conns.at(id);
        if (c.cancelled) *c.cancelled = true;  // its worker stops; its answer would find nobody
        respond(c, FailureResponse(503, kStopping), true, false);
    }
    // Well within the two seconds a stop may take: a client that does not read is left behind.
    const auto until = Clock::now() + kFarewellTime;
    epoll_event events[64];
    while (Clock::now() < until) {
        bool writing = false;
        for (auto& [id, c] : conns) writing = writing || c.state == State::Write;
        if (!writing) break;
        int n = epoll_wait(epollFd, events, 64, 50);
        for (int i = 0; i < n; ++i) {
            if (events[i].data.u64 == 1) {  // a worker's answer, for nobody now: the wake-up drained
                uint64_t count;
                ssize_t r = ::read(wakeFd, &count, sizeof count);
                (void)r;
            }
            auto it = conns.find(events[i].data.u64);
            if (it != conns.end() && it->second.state == State::Write) event(it->first, events[i].events);
        }
    }
}

// One readiness event of a connection, as its state takes it.
void HttpServer::Impl::event(uint64_t id, uint32_t e) {
    auto it = conns.find(id);
    if (it == conns.end()) return;
    Conn& c = it->second;
    bool gone = e & (EPOLLRDHUP | EPOLLHUP | EPOLLERR);
    if (c.state == State::Busy) {
        if (gone) close(id);  // cancels the job: nobody waits for its answer
    } else if (c.state == State::Linger) {
        linger(c);
    } else if (c.state == State::Write) {
        if (e & (EPOLLHUP | EPOLLERR)) close(id);
        else write(c);
    } else {
        read(c, false);
        if (gone && conns.count(id) && conns.at(id).state != State::Write) close(id);
    }
}
