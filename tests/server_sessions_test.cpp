// The rules of logins, on the sessions object alone with its clock and its password check replaced:
// time moves only when a test moves it, and a check may take as long as a test wants, so what is
// tested never depends on how fast the machine is. The free tries and the waits after them, counted
// per operator and per address; a success clearing the count; the idle time of a session counted
// from its token and renewed by each use; the few checks that run at once; a login abandoned when
// cancelled; operator codes wider than the column; and the failures kept bounded.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

#include "server/auth.hpp"

namespace {

using namespace std::chrono_literals;

// A clock that moves only when told.
struct FakeTime {
    std::atomic<int64_t> ms{1'000'000};
    std::chrono::steady_clock::time_point Now() const { return std::chrono::steady_clock::time_point(std::chrono::milliseconds(ms.load())); }
    void Advance(std::chrono::milliseconds d) { ms += d.count(); }
};

const std::string kRight = "certa";
const std::optional<std::string> kStored = std::string("hash guardado");
const std::atomic<bool> kGoingOn{false};

// Sessions whose check matches kRight and makes time pass by `checkTakes` while it runs.
SessionLimits fakeLimits(const std::shared_ptr<FakeTime>& time, std::chrono::milliseconds checkTakes = 0ms,
                         std::chrono::seconds idle = 10s) {
    SessionLimits l;
    l.idle = idle;
    l.now = [time] { return time->Now(); };
    l.check = [time, checkTakes](const std::string&, const std::string& password) {
        time->Advance(checkTakes);
        return password == kRight;
    };
    return l;
}

// The status a login is answered with: 200 for a token, else the EAuth's.
int statusOf(Sessions& s, const std::string& op, const std::string& password, const std::string& peer = "127.0.0.1",
             const std::optional<std::string>& stored = kStored) {
    try {
        return s.Login(op, password, stored, peer, kGoingOn).size() == 64 ? 200 : -1;
    } catch (const EAuth& e) {
        return e.Status();
    }
}

// A password check that holds every caller until opened, counting how many are inside at once.
struct HeldCheck {
    std::mutex mutex;
    std::condition_variable changed;
    bool open = false;
    int inside = 0, most = 0, calls = 0;

    bool run() {
        std::unique_lock lock(mutex);
        ++calls;
        most = std::max(most, ++inside);
        changed.notify_all();
        changed.wait(lock, [&] { return open; });
        --inside;
        changed.notify_all();
        return false;
    }
    bool waitInside(int n) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, 30s, [&] { return inside == n; });
    }
    void release() {
        std::lock_guard lock(mutex);
        open = true;
        changed.notify_all();
    }
    // Opens the check when a test leaves, however it leaves, so that no login stays held.
    struct Opener {
        std::shared_ptr<HeldCheck> held;
        ~Opener() { held->release(); }
    };
    bool waitEmpty() {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, 30s, [&] { return inside == 0; });
    }
};

SessionLimits heldLimits(const std::shared_ptr<HeldCheck>& held, std::chrono::milliseconds checkWait) {
    SessionLimits l;
    l.checkWait = checkWait;
    l.check = [held](const std::string&, const std::string&) { return held->run(); };
    return l;
}

}  // namespace

TEST(Sessions, FiveWrongTriesAreFreeAndTheSixthIsRefusedHoweverLongEachCheckTakes) {
    auto time = std::make_shared<FakeTime>();
    Sessions s(fakeLimits(time, 2500ms));  // each check outlasts the first wait
    for (int i = 1; i <= 5; ++i) EXPECT_EQ(statusOf(s, "JOAO", "errada"), 401) << "try " << i;
    EXPECT_EQ(statusOf(s, "JOAO", "errada"), 429);
    EXPECT_EQ(statusOf(s, "JOAO", kRight), 429);  // the right one too, until the wait is over
    try {
        s.Login("JOAO", kRight, kStored, "127.0.0.1", kGoingOn);
        ADD_FAILURE() << "no wait";
    } catch (const EAuth& e) {
        EXPECT_NE(std::string(e.what()).find("Tentativas demais"), std::string::npos) << e.what();
    }
    // Past the wait one more try is checked; a failure then doubles the wait.
    time->Advance(1001ms);
    EXPECT_EQ(statusOf(s, "JOAO", "errada"), 401);
    time->Advance(1500ms);
    EXPECT_EQ(statusOf(s, "JOAO", kRight), 429);
    time->Advance(501ms);
    EXPECT_EQ(statusOf(s, "JOAO", kRight), 200);
}

TEST(Sessions, ASuccessClearsTheCountOfTheOperatorAndOfTheAddress) {
    auto time = std::make_shared<FakeTime>();
    Sessions s(fakeLimits(time));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(statusOf(s, "MARIA", "errada"), 401);
    EXPECT_EQ(statusOf(s, "MARIA", kRight), 200);
    // Five free tries again, for the operator and for the address.
    for (int i = 1; i <= 5; ++i) EXPECT_EQ(statusOf(s, "MARIA", "errada"), 401) << "try " << i << " after the success";
    EXPECT_EQ(statusOf(s, "MARIA", "errada"), 429);
}

TEST(Sessions, RotatingOperatorsFromOneAddressAreLimitedByTheAddress) {
    auto time = std::make_shared<FakeTime>();
    Sessions s(fakeLimits(time));
    for (int i = 1; i <= 5; ++i) EXPECT_EQ(statusOf(s, "OPERADOR" + std::to_string(i), "errada", "127.0.0.7"), 401);
    EXPECT_EQ(statusOf(s, "OPERADOR6", "errada", "127.0.0.7"), 429);
    EXPECT_EQ(statusOf(s, "OPERADOR6", kRight, "127.0.0.7"), 429);
    // Another address with the same new operator is not held back.
    EXPECT_EQ(statusOf(s, "OPERADOR6", kRight, "127.0.0.8"), 200);
    // Rotating addresses with one operator are limited by the operator.
    for (int i = 1; i <= 5; ++i) EXPECT_EQ(statusOf(s, "PEDRO", "errada", "127.0.1." + std::to_string(i)), 401);
    EXPECT_EQ(statusOf(s, "PEDRO", kRight, "127.0.1.6"), 429);
}

TEST(Sessions, AnUnknownOperatorIsRefusedLikeAWrongPassword) {
    auto time = std::make_shared<FakeTime>();
    Sessions s(fakeLimits(time));
    // The check is made and could match: an operator without a hash is refused all the same.
    EXPECT_EQ(statusOf(s, "NINGUEM", kRight, "127.0.0.1", std::nullopt), 401);
    EXPECT_EQ(statusOf(s, "MARIA", kRight), 200);
}

TEST(Sessions, TheIdleTimeStartsWhenTheTokenIsHandedOut) {
    auto time = std::make_shared<FakeTime>();
    Sessions s(fakeLimits(time, 30s, 10s));  // a check far longer than the idle time
    const std::string token = s.Login("MARIA", kRight, kStored, "127.0.0.1", kGoingOn);
    time->Advance(9s);
    EXPECT_EQ(s.Check(token), "MARIA");
}

TEST(Sessions, ASessionUsedRegularlyOutlivesTheIdleTimeAndAnIdleOneEnds) {
    auto time = std::make_shared<FakeTime>();
    Sessions s(fakeLimits(time, 0ms, 10s));
    const std::string token = s.Login("MARIA", kRight, kStored, "127.0.0.1", kGoingOn);
    for (int i = 1; i <= 5; ++i) {  // 40 s in all, each use 8 s after the one before
        time->Advance(8s);
        EXPECT_EQ(s.Check(token), "MARIA") << "use " << i;
    }
    time->Advance(10s);
    EXPECT_EQ(s.Check(token), "MARIA");  // exactly the idle time is still alive
    time->Advance(10001ms);
    EXPECT_EQ(s.Check(token), std::nullopt);
    time->Advance(1s);
    EXPECT_EQ(s.Check(token), std::nullopt);  // gone for good

    const std::string other = s.Login("MARIA", kRight, kStored, "127.0.0.1", kGoingOn);
    s.Logout(other);
    EXPECT_EQ(s.Check(other), std::nullopt);
    EXPECT_EQ(s.Check(std::string(64, 'a')), std::nullopt);
}

TEST(Sessions, OnlyTwoChecksRunAtOnceAndALoginThatFindsNoRoomIsToldToTryAgain) {
    auto held = std::make_shared<HeldCheck>();
    Sessions s(heldLimits(held, 200ms));
    std::vector<std::future<int>> first;
    for (int i = 0; i < 2; ++i)
        first.push_back(std::async(std::launch::async, [&s, i] {
            return statusOf(s, "OPERADOR" + std::to_string(i), "errada", "127.0.2." + std::to_string(i));
        }));
    std::future<std::pair<int, std::string>> third;
    HeldCheck::Opener opener{held};
    ASSERT_TRUE(held->waitInside(2));
    // Both slots are held: the next login waits its moment, then is told the server is busy.
    third = std::async(std::launch::async, [&s]() -> std::pair<int, std::string> {
        try {
            s.Login("MARIA", kRight, kStored, "127.0.3.1", kGoingOn);
            return {200, ""};
        } catch (const EAuth& e) {
            return {e.Status(), e.what()};
        }
    });
    EXPECT_EQ(third.wait_for(30s), std::future_status::ready) << "the third login is held in a check";
    {
        std::lock_guard lock(held->mutex);
        EXPECT_EQ(held->most, 2);
        EXPECT_EQ(held->calls, 2);
    }
    held->release();
    auto [status, message] = third.get();
    EXPECT_EQ(status, 503);
    EXPECT_NE(message.find("tente de novo"), std::string::npos) << message;
    for (auto& f : first) EXPECT_EQ(f.get(), 401);
    ASSERT_TRUE(held->waitEmpty());
    // The refused one was never checked: it is not kept as a failure of MARIA's nor of its address.
    EXPECT_EQ(s.FailureEntries(), 4u);
}

TEST(Sessions, ABurstOfTriesOfOneOperatorGetsNoMoreChecksThanTheFreeTries) {
    auto held = std::make_shared<HeldCheck>();
    auto time = std::make_shared<FakeTime>();
    SessionLimits l = heldLimits(held, 3600s);
    l.now = [time] { return time->Now(); };
    Sessions s(std::move(l));
    // Sixteen at once, from sixteen addresses: each try counts as it arrives, not when its check ends.
    std::vector<std::future<int>> tries;
    for (int i = 0; i < 16; ++i)
        tries.push_back(std::async(std::launch::async, [&s, i] { return statusOf(s, "JOAO", "errada", "127.0.5." + std::to_string(i)); }));
    HeldCheck::Opener opener{held};
    ASSERT_TRUE(held->waitInside(2));
    held->release();
    int checked = 0, refused = 0;
    for (auto& t : tries) {
        const int status = t.get();
        checked += status == 401;
        refused += status == 429;
    }
    EXPECT_EQ(checked, 5);
    EXPECT_EQ(refused, 11);
    EXPECT_EQ(held->calls, 5);
}

TEST(Sessions, ALoginInACheckOrWaitingForOneIsAbandonedWhenCancelled) {
    auto held = std::make_shared<HeldCheck>();
    Sessions s(heldLimits(held, 3600s));
    std::atomic<bool> stopping{false};
    auto login = [&](int i) {
        return std::async(std::launch::async, [&s, &stopping, i] {
            try {
                s.Login("OPERADOR" + std::to_string(i), "errada", kStored, "127.0.4." + std::to_string(i), stopping);
                return 200;
            } catch (const EAuth& e) {
                return e.Status();
            }
        });
    };
    auto checking1 = login(1), checking2 = login(2);
    std::future<int> waiting;
    HeldCheck::Opener opener{held};
    ASSERT_TRUE(held->waitInside(2));
    waiting = login(3);
    stopping = true;
    // Every one comes back while the checks are still held.
    for (auto* f : {&checking1, &checking2, &waiting}) {
        ASSERT_EQ(f->wait_for(30s), std::future_status::ready);
        EXPECT_EQ(f->get(), 503);
    }
    {
        std::lock_guard lock(held->mutex);
        EXPECT_EQ(held->inside, 2);
        EXPECT_EQ(held->calls, 2);
    }
    held->release();
    ASSERT_TRUE(held->waitEmpty());
}

TEST(Sessions, AnOperatorCodeWiderThanTheColumnIsRefusedUncheckedAndNotKept) {
    auto time = std::make_shared<FakeTime>();
    auto checks = std::make_shared<std::atomic<int>>(0);
    SessionLimits l = fakeLimits(time);
    l.check = [checks](const std::string&, const std::string& password) {
        ++*checks;
        return password == kRight;
    };
    Sessions s(std::move(l));
    for (const std::string& op : {std::string(21, 'A'), std::string(1000000, 'A'), std::string(1000000, '\x80'), std::string()}) {
        try {
            s.Login(op, kRight, kStored, "127.0.0.1", kGoingOn);
            ADD_FAILURE() << op.size();
        } catch (const EAuth& e) {
            EXPECT_EQ(e.Status(), 401);
            EXPECT_STREQ(e.what(), "Operador ou senha inválidos");
        }
    }
    EXPECT_EQ(checks->load(), 0);
    EXPECT_EQ(s.FailureEntries(), 1u);  // the address alone
    // Twenty characters fit, accented ones too.
    EXPECT_EQ(statusOf(s, std::string(20, 'A'), kRight, "127.0.0.2"), 200);
    std::string accented;
    for (int i = 0; i < 20; ++i) accented += "Ã";
    EXPECT_EQ(statusOf(s, accented, kRight, "127.0.0.2"), 200);
    EXPECT_EQ(checks->load(), 2);
    EXPECT_TRUE(OperatorCodeFits(accented));
    EXPECT_FALSE(OperatorCodeFits(accented + "A"));
}

TEST(Sessions, TheFailuresKeptAreBoundedAndForgottenAfterAQuietHour) {
    auto time = std::make_shared<FakeTime>();
    SessionLimits l = fakeLimits(time);
    l.maxFailureEntries = 16;
    Sessions s(std::move(l));
    for (int i = 0; i < 200; ++i) EXPECT_EQ(statusOf(s, "OP" + std::to_string(i), "errada", "127.1.0." + std::to_string(i)), 401);
    EXPECT_EQ(s.FailureEntries(), 16u);
    // The newest are the ones kept: the last operator still counts its failure.
    for (int i = 0; i < 4; ++i) EXPECT_EQ(statusOf(s, "OP199", "errada", "127.2.0." + std::to_string(i)), 401);
    EXPECT_EQ(statusOf(s, "OP199", "errada", "127.2.1.1"), 429);
    time->Advance(std::chrono::hours(1));
    EXPECT_EQ(statusOf(s, "OP199", "errada", "127.2.1.1"), 401);
    EXPECT_EQ(s.FailureEntries(), 2u);
}
