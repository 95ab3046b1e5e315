#include "http_server.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <unordered_map>

#include "data/json_text.hpp"

namespace {

using Clock = std::chrono::steady_clock;

// After an early answer the client may still be sending its body; reading it away for a while lets
// the client read the answer instead of a reset.
constexpr auto kLingerTime = std::chrono::seconds(2);
constexpr size_t kLingerBytes = size_t{64} << 20;
// Out of file descriptors, accepting pauses this long instead of spinning on the listening socket.
constexpr auto kAcceptPause = std::chrono::milliseconds(100);

const char* reason(int status) {
    switch (status) {
        case 100: return "Continue";
        case 200: return "OK";
        case 304: return "Not Modified";
        case 400: return "Bad Request";
        case 404: return "Not Found";
        case 405: return "Method Not Allowed";
        case 408: return "Request Timeout";
        case 411: return "Length Required";
        case 413: return "Payload Too Large";
        case 431: return "Request Header Fields Too Large";
        case 500: return "Internal Server Error";
        case 501: return "Not Implemented";
        case 503: return "Service Unavailable";
        default: return "Unknown";
    }
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return out;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

bool hasToken(const std::string* value, std::string_view token) {
    if (!value) return false;
    std::string v = lower(*value);
    size_t at = 0;
    while ((at = v.find(token, at)) != std::string::npos) {
        bool startOk = at == 0 || v[at - 1] == ',' || v[at - 1] == ' ';
        size_t end = at + token.size();
        bool endOk = end == v.size() || v[end] == ',' || v[end] == ' ' || v[end] == ';';
        if (startOk && endOk) return true;
        at = end;
    }
    return false;
}

}  // namespace

const std::string* HttpRequest::Header(std::string_view name) const {
    for (auto& [n, v] : headers)
        if (n == name) return &v;
    return nullptr;
}

bool ParseHttpHead(std::string_view head, size_t maxBody, HttpRequest& r, size_t& bodyLength, bool& keepAlive, int& status,
                   std::string& reason) {
    auto refuse = [&](int code, std::string why) {
        status = code;
        reason = std::move(why);
        return false;
    };
    size_t lineEnd = head.find("\r\n");
    std::string_view line = head.substr(0, lineEnd);
    size_t sp1 = line.find(' '), sp2 = line.rfind(' ');
    if (sp1 == std::string_view::npos || sp2 == sp1) return refuse(400, "Requisição malformada");
    r.method = std::string(line.substr(0, sp1));
    r.target = std::string(line.substr(sp1 + 1, sp2 - sp1 - 1));
    r.version = std::string(line.substr(sp2 + 1));
    if (r.version != "HTTP/1.1" && r.version != "HTTP/1.0") return refuse(400, "Versão de HTTP não suportada");
    size_t at = lineEnd == std::string_view::npos ? head.size() : lineEnd + 2;
    while (at < head.size()) {
        size_t e = head.find("\r\n", at);
        if (e == std::string_view::npos) e = head.size();
        std::string_view h = head.substr(at, e - at);
        size_t colon = h.find(':');
        if (colon == std::string_view::npos || colon == 0) return refuse(400, "Cabeçalho malformado");
        r.headers.emplace_back(lower(trim(h.substr(0, colon))), std::string(trim(h.substr(colon + 1))));
        at = e + 2;
    }
    const std::string* connection = r.Header("connection");
    keepAlive = r.version == "HTTP/1.1" ? !hasToken(connection, "close") : hasToken(connection, "keep-alive");
    if (r.Header("transfer-encoding")) return refuse(411, "O corpo da requisição deve trazer Content-Length");
    bodyLength = 0;
    // Two differing lengths would let a proxy and this server cut the stream in different places.
    const std::string* length = nullptr;
    for (auto& [n, v] : r.headers) {
        if (n != "content-length") continue;
        if (length && *length != v) return refuse(400, "Content-Length em duplicidade, com valores diferentes");
        length = &v;
    }
    if (length) {
        if (length->empty() || length->size() > 19 || length->find_first_not_of("0123456789") != std::string::npos)
            return refuse(400, "Content-Length inválido");
        unsigned long long n = std::stoull(*length);
        if (n > maxBody) return refuse(413, "Corpo da requisição maior que o limite de " + std::to_string(maxBody) + " bytes");
        bodyLength = static_cast<size_t>(n);
    }
    return true;
}

HttpResponse FailureResponse(int status, const std::string& message) {
    std::string body = "{\"result\":{\"ok\":false,\"error\":";
    AppendJsonString(body, message);
    body += "},\"args\":[]}";
    HttpResponse r;
    r.status = status;
    r.body = std::make_shared<const std::string>(std::move(body));
    return r;
}

struct HttpServer::Impl {
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
        std::shared_ptr<std::atomic<bool>> cancelled;
        uint32_t events = 0;
        std::string peer;
    };

    struct Job {
        uint64_t conn;
        HttpRequest request;
        std::shared_ptr<std::atomic<bool>> cancelled;
    };

    struct Done {
        uint64_t conn;
        HttpResponse response;
    };

    HttpLimits limits;
    Handler handler;
    int listenFd = -1, epollFd = -1;
    const int wakeFd;
    std::atomic<bool> stopping{false};
    uint64_t nextId = 2;  // 0: the listening socket, 1: the wake-up
    std::unordered_map<uint64_t, Conn> conns;

    std::mutex mutex;
    std::condition_variable jobReady;
    std::deque<Job> jobs;
    std::vector<std::shared_ptr<std::atomic<bool>>> running;  // cancel flags of jobs being run
    std::deque<Done> done;
    std::vector<std::thread> workers;
    bool workersQuit = false;

    bool acceptPaused = false;       // out of descriptors: the listening socket rests a moment
    Clock::time_point acceptResume;
    bool loggedNoDescriptors = false;

    // The wake-up exists before Run, so that Stop from another thread never sees it change.
    Impl(HttpLimits l, Handler h) : limits(std::move(l)), handler(std::move(h)), wakeFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

    ~Impl() {
        for (auto& [id, c] : conns) ::close(c.fd);
        for (int fd : {listenFd, epollFd, wakeFd})
            if (fd >= 0) ::close(fd);
    }

    void wake() {
        uint64_t one = 1;
        ssize_t n = ::write(wakeFd, &one, sizeof one);
        (void)n;
    }

    void watch(Conn& c, uint32_t events) {
        if (c.events == events) return;
        epoll_event ev{};
        ev.events = events;
        ev.data.u64 = c.id;
        epoll_ctl(epollFd, EPOLL_CTL_MOD, c.fd, &ev);
        c.events = events;
    }

    void close(uint64_t id) {
        auto it = conns.find(id);
        if (it == conns.end()) return;
        if (it->second.cancelled) *it->second.cancelled = true;
        epoll_ctl(epollFd, EPOLL_CTL_DEL, it->second.fd, nullptr);
        ::close(it->second.fd);
        conns.erase(it);
    }

    // Queues an answer on the connection and starts writing it.
    void respond(Conn& c, HttpResponse r, bool close = false, bool linger = true) {
        if (close) c.keepAlive = false;
        c.lingerAfterWrite = close && linger;
        std::string& h = c.outHead;
        h = "HTTP/1.1 " + std::to_string(r.status) + " " + reason(r.status) + "\r\n";
        size_t length = r.body ? r.body->size() : 0;
        if (r.status != 304 && r.status >= 200) {
            h += "Content-Type: " + r.contentType + "\r\n";
            h += "Content-Length: " + std::to_string(length) + "\r\n";
        }
        for (auto& [n, v] : r.headers) h += n + ": " + v + "\r\n";
        h += c.keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
        c.outBody = r.status == 304 ? nullptr : std::move(r.body);
        c.outDone = 0;
        c.closeAfterWrite = !c.keepAlive;
        c.state = State::Write;
        c.cancelled.reset();
        c.deadline = Clock::now() + limits.writeTimeout;
        watch(c, EPOLLOUT | EPOLLRDHUP);
        write(c);
    }

    void write(Conn& c) {
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

    void startLinger(Conn& c) {
        ::shutdown(c.fd, SHUT_WR);
        c.state = State::Linger;
        c.in.clear();
        c.outHead.clear();
        c.outBody.reset();
        c.lingerLeft = kLingerBytes;
        c.deadline = Clock::now() + kLingerTime;
        watch(c, EPOLLIN | EPOLLRDHUP);
    }

    void linger(Conn& c) {
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
    void process(Conn& c) {
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

    bool parseHead(Conn& c, std::string_view head) {
        int status = 0;
        std::string why;
        if (!ParseHttpHead(head, limits.maxBody, c.request, c.bodyLength, c.keepAlive, status, why)) {
            // Answered before any body is read; the connection closes so nothing more is taken.
            respond(c, FailureResponse(status, why), true);
            return false;
        }
        if (hasToken(c.request.Header("expect"), "100-continue") && c.in.size() < c.headEnd + c.bodyLength) {
            static const char kContinue[] = "HTTP/1.1 100 Continue\r\n\r\n";
            ssize_t n = ::send(c.fd, kContinue, sizeof kContinue - 1, MSG_NOSIGNAL);
            (void)n;
        }
        return true;
    }

    void dispatch(Conn& c) {
        std::unique_lock lock(mutex);
        if (jobs.size() >= limits.maxQueue) {
            lock.unlock();
            return respond(c, FailureResponse(503, "Servidor de aplicação ocupado; tente de novo em instantes"), true);
        }
        c.state = State::Busy;
        c.cancelled = std::make_shared<std::atomic<bool>>(false);
        jobs.push_back({c.id, std::move(c.request), c.cancelled});
        c.request = {};
        lock.unlock();
        jobReady.notify_one();
        watch(c, EPOLLRDHUP);  // only to learn that the client has gone
    }

    void workerLoop() {
        for (;;) {
            std::unique_lock lock(mutex);
            jobReady.wait(lock, [&] { return workersQuit || !jobs.empty(); });
            if (workersQuit && jobs.empty()) return;
            Job job = std::move(jobs.front());
            jobs.pop_front();
            running.push_back(job.cancelled);
            lock.unlock();
            HttpResponse r;
            if (*job.cancelled) {
                r = FailureResponse(503, "Requisição cancelada");
            } else {
                try {
                    r = handler(job.request, *job.cancelled);
                } catch (const std::exception& e) {
                    r = FailureResponse(500, e.what());
                }
            }
            lock.lock();
            running.erase(std::find(running.begin(), running.end(), job.cancelled));
            done.push_back({job.conn, std::move(r)});
            lock.unlock();
            wake();
        }
    }

    // Closes up to `count` connections that have sent nothing, oldest first; one whose request is
    // already waiting in the socket is kept. How many it closed.
    size_t shedIdle(size_t count) {
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
    void outOfDescriptors() {
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

    void resumeAccepting() {
        if (!acceptPaused || Clock::now() < acceptResume || listenFd < 0) return;
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.u64 = 0;
        epoll_ctl(epollFd, EPOLL_CTL_MOD, listenFd, &ev);
        acceptPaused = false;
    }

    void accept() {
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

    void read(Conn& c, bool peerClosed) {
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

    void expire() {
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

    void collect() {
        uint64_t count;
        ssize_t n = ::read(wakeFd, &count, sizeof count);
        (void)n;
        std::deque<Done> ready;
        {
            std::lock_guard lock(mutex);
            ready.swap(done);
        }
        for (Done& d : ready) {
            auto it = conns.find(d.conn);
            if (it == conns.end()) continue;  // its client has gone
            respond(it->second, std::move(d.response));
        }
    }
};

HttpServer::HttpServer(HttpLimits limits, Handler handler) : impl_(std::make_unique<Impl>(std::move(limits), std::move(handler))) {}

HttpServer::~HttpServer() = default;

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
    for (size_t i = 0; i < std::max<size_t>(1, s.limits.workers); ++i) s.workers.emplace_back([&s] { s.workerLoop(); });

    epoll_event events[256];
    auto lastSweep = Clock::now();
    while (!s.stopping) {
        int n = epoll_wait(s.epollFd, events, 256, 100);
        for (int i = 0; i < n && !s.stopping; ++i) {
            uint64_t id = events[i].data.u64;
            uint32_t e = events[i].events;
            if (id == 0) {
                s.accept();
                continue;
            }
            if (id == 1) {
                s.collect();
                continue;
            }
            auto it = s.conns.find(id);
            if (it == s.conns.end()) continue;
            Impl::Conn& c = it->second;
            bool gone = e & (EPOLLRDHUP | EPOLLHUP | EPOLLERR);
            if (c.state == Impl::State::Busy) {
                if (gone) s.close(id);  // cancels the job: nobody waits for its answer
            } else if (c.state == Impl::State::Linger) {
                s.linger(c);
            } else if (c.state == Impl::State::Write) {
                if (e & (EPOLLHUP | EPOLLERR)) s.close(id);
                else s.write(c);
            } else {
                s.read(c, false);
                if (gone && s.conns.count(id) && s.conns.at(id).state != Impl::State::Write) s.close(id);
            }
        }
        s.resumeAccepting();
        if (Clock::now() - lastSweep > std::chrono::milliseconds(100)) {
            s.expire();
            lastSweep = Clock::now();
        }
    }

    // Stopping: no new connections, every job cancelled, the workers finish what they hold.
    epoll_ctl(s.epollFd, EPOLL_CTL_DEL, s.listenFd, nullptr);
    ::close(s.listenFd);
    s.listenFd = -1;
    {
        std::lock_guard lock(s.mutex);
        s.workersQuit = true;
        for (auto& j : s.jobs) *j.cancelled = true;
        for (auto& flag : s.running) *flag = true;
    }
    s.jobReady.notify_all();
    for (auto& w : s.workers) w.join();
    s.workers.clear();
}
