#include "recorder.hpp"

namespace {

// How an argument shows in the state: packets by a placeholder, the rest as they are.
nlohmann::json shown(const Variant& v) {
    if (v.IsPacket()) return "<packet>";
    if (v.IsBool()) return v.AsBool();
    if (v.IsInt()) return v.AsInt();
    if (v.IsString()) return v.AsString();
    return nullptr;
}

}  // namespace

void Recorder::add(nlohmann::json e) {
    if (OnEvent) OnEvent(e);
    events_.push_back(std::move(e));
}

nlohmann::json Recorder::TakeEvents() {
    nlohmann::json out = std::move(events_);
    events_ = nlohmann::json::array();
    return out;
}

void Recorder::Animation(bool on, const std::string& text) {
    if (on) animationText_ = text;
    add({{"kind", "animation"}, {"on", on}, {"text", on ? text : animationText_}});
}

bool Recorder::cancelledNow(double seconds) {
    if (!cancelAfter_ || seconds < *cancelAfter_) return false;
    cancelAfter_.reset();
    return true;
}

bool Recorder::CallWaiting(double seconds) {
    if (cancelledNow(seconds)) return false;
    return OnCallWaiting ? OnCallWaiting(seconds) : true;
}

bool Recorder::StatementWaiting(double seconds, size_t rows) {
    if (seconds >= nextProgress_) {
        add({{"kind", "animation"}, {"on", true}, {"text", StatementProgressText(seconds, rows)}});
        nextProgress_ = seconds + 1;
    }
    if (cancelledNow(seconds)) return false;
    return OnStatementWaiting ? OnStatementWaiting(seconds, rows) : true;
}

void Recorder::StatementDone() {
    nextProgress_ = 0.5;
    if (OnStatementDone) OnStatementDone();
}

void Recorder::ServerCall(const std::string& method, const std::vector<Variant>& args) {
    nlohmann::json list = nlohmann::json::array();
    for (auto& a : args) list.push_back(shown(a));
    add({{"kind", "call"}, {"method", method}, {"args", list}});
}

void Recorder::QueryOpened(const std::string& sql, const SqlParams& params) {
    nlohmann::json p = nlohmann::json::object();
    for (auto& [k, v] : params) p[k] = v;
    add({{"kind", "query"}, {"sql", sql}, {"params", p}});
}

ListDialogAnswer Recorder::Show(const ListDialogRequest& r) {
    DialogAnswer a;
    if (!answers_.empty()) {
        a = answers_.front();
        answers_.pop_front();
    }
    ListDialogAnswer out{a.confirm, a.confirm ? a.selection : r.given};
    add({{"kind", "dialog"}, {"caption", r.caption}, {"keyField", r.keyField}, {"columns", r.columns},
         {"labels", r.labels}, {"rows", r.rows}, {"given", r.given}, {"answer", a.confirm ? "confirm" : "cancel"},
         {"result", out.selection}});
    return out;
}

void Recorder::Confirmation(const std::string& text, bool yes) {
    add({{"kind", "confirmation"}, {"text", text}, {"answer", yes ? "yes" : "no"}});
}

int Recorder::Message(const std::string& text, TMsgDlgType type, const std::vector<TMsgDlgBtn>& buttons) {
    if (type == TMsgDlgType::mtConfirmation) {
        bool yes = DefaultYes(buttons);
        if (!confirmations_.empty()) {
            yes = confirmations_.front();
            confirmations_.pop_front();
        }
        Confirmation(text, yes);
        return yes ? mrYes : mrNo;
    }
    const char* kind = type == TMsgDlgType::mtError ? "error" : type == TMsgDlgType::mtWarning ? "warning" : "information";
    add({{"kind", "message"}, {"type", kind}, {"text", text}});
    return mrOk;
}
