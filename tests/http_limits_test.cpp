// Each limit of the server's HTTP reading, answered with its own status as a client sees it: chunked
// bodies (411), Content-Lengths that disagree in either order (400), a head past its cap before it
// has even ended (431), and a head trickled in for longer than the read timeout (408 while the
// client is still sending).
#include <gtest/gtest.h>
#include <poll.h>

#include <thread>

#include "support/processes.hpp"
#include "support/raw_client.hpp"

namespace {

int statusOf(const std::string& response) { return response.size() > 12 ? std::stoi(response.substr(9, 3)) : 0; }

class HttpLimits : public ::testing::Test {
protected:
    TempDatabase db{ReadFile(QEL_DEMO_DIR "/catalogue_schema.sql") + ReadFile(QEL_TEST_DIR "/catalogue.sql")};
};

}  // namespace

TEST_F(HttpLimits, FramingThatTwoReadersCouldTakeApartIsRefusedWithItsStatus) {
    ServerProcess server(db.Path());
    const std::string body = R"({"args":["SELECT 1"]})", n = std::to_string(body.size());
    struct Case {
        std::string headers;
        int status;
    };
    const Case cases[] = {
        {"Transfer-Encoding: chunked\r\n", 411},
        {"Content-Length: " + n + "\r\nTransfer-Encoding: chunked\r\n", 411},
        {"Content-Length: 5\r\nContent-Length: " + n + "\r\n", 400},  // the last one alone would read the whole body
        {"Content-Length: " + n + "\r\nContent-Length: 5\r\n", 400},
        {"Content-Length: " + n + "\r\nContent-Length: " + n + "\r\n", 200},
        {"Content-Length: +" + n + "\r\n", 400},
    };
    for (const Case& c : cases) {
        RawClient client(server.Port());
        client.Send("POST /QEL00100.rdmOpcoesDW/getInfo HTTP/1.1\r\nHost: x\r\n" + c.headers + "Connection: close\r\n\r\n" + body);
        EXPECT_EQ(statusOf(client.ReadAll(10)), c.status) << c.headers;
    }
}

TEST_F(HttpLimits, AHeadPastItsCapIsRefusedBeforeItEnds) {
    ServerProcess server(db.Path(), {"--read-timeout", "30"});
    RawClient client(server.Port());
    std::string head = "POST /QEL00100.rdmOpcoesDW/getInfo HTTP/1.1\r\n";
    while (head.size() < 40000) head += "X-Enchimento: " + std::string(100, 'a') + "\r\n";
    client.Send(head);  // never ended: the answer cannot wait for the blank line, nor for the timeout
    EXPECT_EQ(statusOf(client.ReadAll(10)), 431);
}

TEST_F(HttpLimits, AHeadTrickledInLongerThanTheReadTimeoutIsCutWhileItIsStillComing) {
    ServerProcess server(db.Path(), {"--read-timeout", "1"});
    RawClient client(server.Port());
    client.Send("POST /QEL00100.rdmOpcoesDW/getInfo HTTP/1.1\r\n");
    // A line every 300 ms for twelve seconds: each brings progress, but the whole head has one
    // deadline, so the answer comes long before the client would have finished.
    int sentWhenAnswered = -1;
    std::string response;
    for (int k = 0; k < 40 && sentWhenAnswered < 0; ++k) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        if (!client.Send("X-Lento: " + std::to_string(k) + "\r\n")) {
            sentWhenAnswered = k;
            break;
        }
        response = client.ReadNow();
        if (!response.empty()) sentWhenAnswered = k;
    }
    if (response.empty()) response = client.ReadAll(5);
    ASSERT_GE(sentWhenAnswered, 0) << "the server waited for the whole trickled head";
    EXPECT_LT(sentWhenAnswered, 39);
    EXPECT_EQ(statusOf(response), 408) << response;
}
