// What the host plugs into the framework: an observer that learns of animations, server calls and
// client queries (the script runner records them; the front end shows the animation), the member
// list dialog service, and the translation dictionary. Neither pointer is owned by the framework;
// the host keeps both alive while it runs and clears them before it destroys them.
#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "data/sql_connection.hpp"
#include "data/variant.hpp"

class FwkObserver {
public:
    virtual ~FwkObserver() = default;
    // While a server call waits, about every 50 ms: `seconds` since it began. False cancels the call.
    // Runs on the calling thread, so a window may draw progress and take a click on "Cancelar".
    virtual bool CallWaiting(double /*seconds*/) { return true; }
    // The call that waited has ended, one way or another.
    virtual void CallDone() {}
    // The same for a statement of the client's own database: `rows` read so far. False cancels it.
    virtual bool StatementWaiting(double /*seconds*/, size_t /*rows*/) { return true; }
    virtual void StatementDone() {}
    virtual void Animation(bool /*on*/, const std::string& /*text*/) {}
    virtual void ServerCall(const std::string& /*method*/, const std::vector<Variant>& /*args*/) {}
    virtual void QueryOpened(const std::string& /*sql*/, const SqlParams& /*params*/) {}
};

// What a long statement shows while it runs: the whole seconds it has run and the result rows (the
// view's groups) that came so far, "Calculando… 12 s, 1.234 grupos recebidos". The rows the database
// reads to make them are not known while it works, so none are claimed.
inline std::string StatementProgressText(double seconds, size_t groups) {
    std::string count = std::to_string(groups);
    for (size_t at = count.size(); at > 3; at -= 3) count.insert(at - 3, ".");
    const long whole = seconds > 0 ? static_cast<long>(seconds) : 0;
    return "Calculando… " + std::to_string(whole) + " s, " + count + (groups == 1 ? " grupo recebido" : " grupos recebidos");
}

struct ListDialogRequest {
    std::string caption;
    std::string keyField;
    std::vector<std::string> columns;
    std::vector<std::string> labels;
    std::vector<std::vector<std::string>> rows;
    std::string given;
};

struct ListDialogAnswer {
    bool confirmed = false;
    std::string selection;
};

class ListDialogService {
public:
    virtual ~ListDialogService() = default;
    virtual ListDialogAnswer Show(const ListDialogRequest& request) = 0;
};

// How long one server call may take in all, and how large its answer may be.
struct CallLimits {
    std::chrono::milliseconds deadline{30000};
    size_t maxAnswer = size_t{256} << 20;
};
// The deadline holds for the client database's statements too.
void SetCallLimits(const CallLimits& limits);
CallLimits GetCallLimits();

// Where the operator's password comes from when the server asks for a login: a file or the
// environment, the desktop's login dialog, or a prompt without echo. `problem` is empty on the first
// ask, else why the last try failed ("Operador ou senha inválidos"). nullopt: no password to give
// (the call then fails with the server's message).
class LoginService {
public:
    virtual ~LoginService() = default;
    virtual std::optional<std::string> Password(const std::string& operatorCode, const std::string& problem) = 0;
};
void SetLoginService(LoginService* service);  // not owned; nullptr for none
// Ends the sessions this process opened on servers (the host calls it on leaving).
void LogoutSessions();

void SetFwkObserver(FwkObserver* observer);
FwkObserver* CurrentFwkObserver();  // nullptr when the host set none
void SetListDialogService(ListDialogService* service);
void SetTranslations(std::map<std::string, std::string> dictionary);
// Forgets the answers the connections keep for the session (tests and benchmarks of a first load).
void ForgetKeptAnswers();
// Asks the allocator to keep freed memory for the next load instead of giving it back at once: a
// catalogue reload then reuses the pages of the last one, where the first touch of fresh pages would
// cost more than the load itself. The host calls it once at start.
void KeepMemoryForReloads();
