// The host against application servers that misbehave: one that never answers, one that trickles
// its answer a byte at a time, one whose answer is larger than the host takes. Each call ends at the
// host's deadline or size cap with a clear message, and the host goes on.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "support/e2e.hpp"

namespace {

using J = nlohmann::json;

// A loopback HTTP server of the test's own: it answers the host's check of the object, and then
// answers calls the way `mode` says.
class BadServer {
public:
    enum class Mode { Silent, Trickle, Huge };
    explicit BadServer(Mode mode) : mode_(mode) {
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
        for (auto& t : clients_) t.join();
    }
    std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }

private:
    void serve() {
        while (!stop_) {
            int c = accept(fd_, nullptr, nullptr);
            if (c < 0) return;
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
        auto say = [&](const std::string& s) { return send(c, s.data(), s.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(s.size()); };
        if (in.rfind("GET ", 0) == 0) {
            std::string body = R"({"object":"QEL00100.rdmOpcoesDW"})";
            say("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
                "\r\nConnection: close\r\n\r\n" + body);
        } else if (mode_ == Mode::Trickle) {
            say("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 100000\r\n\r\n");
            for (int i = 0; i < 200 && !stop_ && say(" "); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(200));
        } else if (mode_ == Mode::Huge) {
            const size_t size = size_t{8} << 20;
            say("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(size) + "\r\n\r\n");
            std::string chunk(64 << 10, ' ');
            for (size_t sent = 0; sent < size && !stop_ && say(chunk); sent += chunk.size()) {
            }
        } else {
            while (!stop_ && recv(c, buf, sizeof buf, MSG_DONTWAIT) != 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        close(c);
    }

    Mode mode_;
    int fd_ = -1, port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::vector<std::thread> clients_;
};

std::string firstError(const J& state) {
    for (auto& m : EventsOf(state, "message"))
        if (m["type"] == "error") return m["text"];
    return "";
}

}  // namespace

TEST(StalledServer, EveryCallEndsAtTheDeadlineOrTheSizeCapWithAClearMessage) {
    E2E e;
    struct Case {
        BadServer::Mode mode;
        std::vector<std::string> flags;
        std::string message;
    };
    const Case cases[] = {
        {BadServer::Mode::Silent, {"--call-timeout", "2"}, "não respondeu em 2 s"},
        {BadServer::Mode::Trickle, {"--call-timeout", "2"}, "não respondeu em 2 s"},
        {BadServer::Mode::Huge, {"--max-answer", "1048576"}, "passou de 1 MB, o limite deste cliente"},
    };
    for (const Case& c : cases) {
        BadServer bad(c.mode);
        std::vector<std::string> flags = c.flags;
        HostRun r = e.Run("open\ndump\nserver " + e.Server() + "\nkey F5\ndump\n", flags, bad.Address());
        ASSERT_EQ(r.status, 0) << r.err;
        ASSERT_EQ(r.states.size(), 2u) << r.err;
        EXPECT_NE(firstError(r.states[0]).find(c.message), std::string::npos) << r.states[0]["events"];
        // The host goes on: the same session then loads the catalogue from a sound server.
        EXPECT_EQ(firstError(r.states[1]), "") << r.states[1]["events"];
        EXPECT_FALSE(r.states[1]["trees"]["trvFatos"].empty());
    }
}
