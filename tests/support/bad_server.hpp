// A loopback HTTP server of a test's own, for the host and the framework against application servers
// that misbehave: it answers the check of the object (GET) soundly, and then answers calls (POST) the
// way its mode says: never, a byte at a time, an answer larger than the client takes (said so by its
// length, or in endless chunks, or as a small gzip stream that inflates past any cap), or bytes given
// by the test as they are (a lying length, text that is not UTF-8…). With `refuseFirst`, the first
// call is answered with a plain refusal, so that a client gets its screen open before the real test.
// Everything sent is made as it goes, a chunk at a time: the test process itself stays small.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class BadServer {
public:
    enum class Mode { Silent, Trickle, Huge, Endless, GzipBomb, Canned };
    explicit BadServer(Mode mode, std::string canned = "", bool refuseFirst = false, size_t hugeBytes = size_t{8} << 20)
        : mode_(mode), canned_(std::move(canned)), refuseFirst_(refuseFirst), hugeBytes_(hugeBytes) {
        if (mode_ == Mode::GzipBomb) bomb_ = gzipZeros(hugeBytes_);
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        listen(fd_, 16);
        socklen_t len = sizeof a;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~BadServer() {
        stop_ = true;
        shutdown(fd_, SHUT_RDWR);
        close(fd_);
        thread_.join();
        std::lock_guard lock(clientsMutex_);
        for (auto& t : clients_) t.join();
    }
    BadServer(const BadServer&) = delete;
    BadServer& operator=(const BadServer&) = delete;
    std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }
    int Port() const { return port_; }
    int Calls() const { return calls_; }

private:
    // `bytes` zeros, gzip-compressed a megabyte at a time (a thousand to one).
    static std::string gzipZeros(size_t bytes) {
        z_stream z{};
        deflateInit2(&z, Z_BEST_SPEED, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
        const std::string zeros(size_t{1} << 20, '\0');
        std::string out;
        char buf[65536];
        for (size_t done = 0; done < bytes || z.avail_in;) {
            if (z.avail_in == 0 && done < bytes) {
                const size_t n = std::min(zeros.size(), bytes - done);
                z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.data()));
                z.avail_in = static_cast<uInt>(n);
                done += n;
            }
            z.next_out = reinterpret_cast<Bytef*>(buf);
            z.avail_out = sizeof buf;
            deflate(&z, Z_NO_FLUSH);
            out.append(buf, sizeof buf - z.avail_out);
        }
        int rc;
        do {
            z.next_out = reinterpret_cast<Bytef*>(buf);
            z.avail_out = sizeof buf;
            rc = deflate(&z, Z_FINISH);
            out.append(buf, sizeof buf - z.avail_out);
        } while (rc != Z_STREAM_END);
        deflateEnd(&z);
        return out;
    }

    void serve() {
        while (!stop_) {
            int c = accept(fd_, nullptr, nullptr);
            if (c < 0) return;
            std::lock_guard lock(clientsMutex_);
            clients_.emplace_back([this, c] { answer(c); });
        }
    }

    void answer(int c) {
        std::string in;
        char buf[4096];
        while (in.find("\r\n\r\n") == std::string::npos) {
            ssize_t n = recv(c, buf, sizeof buf, 0);
            if (n <= 0) return void(close(c));
            in.append(buf, static_cast<size_t>(n));
        }
        // The request's body read whole first: a socket closed with bytes unread is reset, and the
        // reset may cut the answer short on the client's side.
        const size_t headEnd = in.find("\r\n\r\n") + 4;
        size_t length = 0;
        if (auto at = in.find("Content-Length: "); at != std::string::npos && at < headEnd) length = std::stoul(in.substr(at + 16));
        while (in.size() < headEnd + length) {
            ssize_t n = recv(c, buf, sizeof buf, 0);
            if (n <= 0) return void(close(c));
            in.append(buf, static_cast<size_t>(n));
        }
        auto say = [&](const std::string& s) { return send(c, s.data(), s.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(s.size()); };
        const bool get = in.rfind("GET ", 0) == 0;
        const int call = get ? 0 : ++calls_;
        if (get) {
            std::string body = R"({"object":"QEL00100.rdmOpcoesDW"})";
            say("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
                "\r\nConnection: close\r\n\r\n" + body);
        } else if (refuseFirst_ && call == 1) {
            std::string body = R"({"result":{"ok":false,"error":"Ainda não"},"args":[]})";
            say("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
                "\r\nConnection: close\r\n\r\n" + body);
        } else if (mode_ == Mode::Trickle) {
            say("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 100000\r\n\r\n");
            for (int i = 0; i < 200 && !stop_ && say(" "); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(200));
        } else if (mode_ == Mode::Huge) {
            say("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(hugeBytes_) + "\r\n\r\n");
            const std::string chunk(64 << 10, ' ');
            for (size_t sent = 0; sent < hugeBytes_ && !stop_ && say(chunk); sent += chunk.size()) {
            }
        } else if (mode_ == Mode::Endless) {
            say("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nTransfer-Encoding: chunked\r\n\r\n");
            const std::string chunk(64 << 10, ' ');
            char size[32];
            std::snprintf(size, sizeof size, "%zx\r\n", chunk.size());
            while (!stop_ && say(size + chunk + "\r\n")) {
            }
        } else if (mode_ == Mode::GzipBomb) {
            say("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Encoding: gzip\r\nContent-Length: " +
                std::to_string(bomb_.size()) + "\r\nConnection: close\r\n\r\n");
            say(bomb_);
        } else if (mode_ == Mode::Canned) {
            say(canned_);
        } else {
            while (!stop_ && recv(c, buf, sizeof buf, MSG_DONTWAIT) != 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        close(c);
    }

    Mode mode_;
    std::string canned_, bomb_;
    bool refuseFirst_;
    size_t hugeBytes_;
    int fd_ = -1, port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> calls_{0};
    std::thread thread_;
    std::mutex clientsMutex_;
    std::vector<std::thread> clients_;
};
