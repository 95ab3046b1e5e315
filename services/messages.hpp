// Messages and errors of the framework, as the screen uses them.
// TMessages is a keyed message table (entries "key|text"); Msg returns a text, ShowMsg shows it in a
// dialog and returns when the dialog closes. MensErro shows an error and ends the current action with
// the silent abort (EAbort); CheckResultServ raises EServerError with the server's text when a server
// result reports a failure, and returns the payload otherwise.
#pragma once

#include <string>

#include "toolkit/application.hpp"
#include "toolkit/string_list.hpp"
#include "data/variant.hpp"

class EServerError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TMessages : public TComponent {
public:
    using TComponent::TComponent;
    TStringList Mensagens;  // "key|text"
    std::string Msg(const std::string& key) const;  // empty when the key is unknown
    int ShowMsg(const std::string& key, TMsgDlgType type, const std::vector<TMsgDlgBtn>& buttons, int helpContext);
};

// With abort true (how the screen calls it) it never returns normally.
void MensErro(const std::string& text, bool abort);
Variant CheckResultServ(const Variant& result, bool showError, int code);

// Progress animation over the host's main window (kind: the artwork; 6 is the data transfer one).
void ActiveShowAvi(TForm* mainForm, int kind, const std::string& text);
void DeactiveShowAvi();
bool ShowAviActive();

// Shows the progress animation for its lifetime: it is removed on every way out, failures included.
class ShowAviScope {
public:
    ShowAviScope(TForm* over, const std::string& text) { ActiveShowAvi(over, 6, text); }
    ~ShowAviScope() { DeactiveShowAvi(); }
    ShowAviScope(const ShowAviScope&) = delete;
    ShowAviScope& operator=(const ShowAviScope&) = delete;
};

// Translates the captions and hints of a form and its components into the session's language.
void Trad(TForm* form);
