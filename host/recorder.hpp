// What the host records for the script runner's state: message dialogs (the host's error handler
// included), member-list dialogs with their queued answers, client queries, server calls and the
// progress animation, in the order they happen. Also answers the member-list dialog: each dialog
// takes the next queued answer; with none queued it is cancelled. A confirmation (a yes-or-no
// message) takes the next queued yes or no; with none queued, its default, the first button offered.
#pragma once

#include <deque>
#include <optional>
#include <nlohmann/json.hpp>

#include "fwk/host_bridge.hpp"
#include "toolkit/application.hpp"

struct DialogAnswer {
    bool confirm = false;
    std::string selection;
};

class Recorder : public FwkObserver, public ListDialogService {
public:
    void Animation(bool on, const std::string& text) override;
    void ServerCall(const std::string& method, const std::vector<Variant>& args) override;
    void QueryOpened(const std::string& sql, const SqlParams& params) override;
    bool CallWaiting(double seconds) override;
    void CallDone() override {
        if (OnCallDone) OnCallDone();
    }
    // A long statement of the client's database: its progress as animation events (from half a
    // second on, one a second), then the window's part; a queued cancel stops it.
    bool StatementWaiting(double seconds, size_t rows) override;
    void StatementDone() override;
    // The next statement or server call that waits `seconds` is cancelled, as "Cancelar" would.
    void CancelAfter(double seconds) { cancelAfter_ = seconds; }
    ListDialogAnswer Show(const ListDialogRequest& request) override;
    // Records a message; a confirmation is answered as said above (mrYes or mrNo).
    int Message(const std::string& text, TMsgDlgType type, const std::vector<TMsgDlgBtn>& buttons = {});
    // A confirmation answered by someone else (the desktop's dialog): recorded as it was answered.
    void Confirmation(const std::string& text, bool yes);
    // The answer a confirmation offering these buttons takes when none is queued.
    static bool DefaultYes(const std::vector<TMsgDlgBtn>& buttons) { return buttons.empty() || buttons.front() != TMsgDlgBtn::mbNo; }

    void QueueAnswer(DialogAnswer a) { answers_.push_back(std::move(a)); }
    void QueueConfirmation(bool yes) { confirmations_.push_back(yes); }
    size_t PendingAnswers() const { return answers_.size() + confirmations_.size(); }
    // The events since the last call, then cleared.
    nlohmann::json TakeEvents();
    // Echo of each message to a stream (the interactive prompt shows them as they come).
    std::function<void(const nlohmann::json&)> OnEvent;
    // The window's part in a waiting server call: progress, and false when the operator cancels.
    std::function<bool(double)> OnCallWaiting;
    std::function<void()> OnCallDone;
    std::function<bool(double, size_t)> OnStatementWaiting;
    std::function<void()> OnStatementDone;

private:
    void add(nlohmann::json e);
    nlohmann::json events_ = nlohmann::json::array();
    std::deque<DialogAnswer> answers_;
    std::deque<bool> confirmations_;
    std::string animationText_;
    std::optional<double> cancelAfter_;
    double nextProgress_ = 0.5;
    bool cancelledNow(double seconds);
};
