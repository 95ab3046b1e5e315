// TApplication and TScreen: the process-wide objects of the user-interface toolkit.
// The application owns every form it creates (the form factory CreateForm stores the new instance in
// the caller's reference before the form's create handler runs), destroys released forms once the
// current event has completed (ProcessReleases, called by the host's event loop), reports uncaught
// exceptions (EAbort silently) and shows message dialogs through a hook the host supplies.
// The screen holds the mouse cursor. `Application` and `Screen` are created by the host; the toolkit
// never creates them itself. TCursorGuard sets a cursor and puts the default back on every path out.
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "component.hpp"
#include "form.hpp"

// The silent abort: ends the current action without any message.
class EAbort : public std::runtime_error {
public:
    EAbort() : std::runtime_error("Operação cancelada") {}
};

enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
enum class TMsgDlgBtn { mbOK, mbCancel, mbYes, mbNo };
constexpr int mrOk = 1, mrCancel = 2, mrYes = 6, mrNo = 7;

class TApplication : public TComponent {
public:
    TApplication();
    ~TApplication() override;

    TForm* MainForm = nullptr;  // the host's main window; not owned here unless created here
    std::string Title;

    // Form factory: creates T owned by the application, assigns `ref`, then runs its create handler.
    template <class T>
    void CreateForm(T*& ref) {
        auto form = std::make_unique<T>(this);
        ref = form.get();
        Adopt(std::move(form));
        if (OnFormCreated) OnFormCreated(ref);
        ref->DoCreate();
    }

    // Message dialog; returns the button chosen (mrOk...). Without a hook it prints and returns OK.
    int MessageDlg(const std::string& text, TMsgDlgType type, const std::vector<TMsgDlgBtn>& buttons);
    // Default error handler: EAbort shows nothing; any other exception's message as an error dialog.
    void HandleException(std::exception_ptr e);

    std::vector<TForm*> Forms() const;  // forms alive and not released
    std::vector<TForm*> MDIChildren() const;
    TForm* ActiveForm() const { return active_; }
    void Activate(TForm* f) { active_ = f; }

    void ScheduleRelease(TForm* f) { pendingRelease_.push_back(f); }
    void ProcessReleases();
    void FormDestroying(TForm* f);

    std::function<int(const std::string&, TMsgDlgType, const std::vector<TMsgDlgBtn>&)> OnMessageDlg;
    std::function<void(TForm*)> OnFormCreated;
    std::function<void(std::exception_ptr)> OnException;  // replaces the default report when set

private:
    TForm* active_ = nullptr;
    std::vector<TForm*> pendingRelease_;
};

class TScreen {
public:
    TCursor Cursor() const { return cursor_; }
    void SetCursor(TCursor c) {
        if (c == cursor_) return;
        cursor_ = c;
        if (OnCursorChange) OnCursorChange(c);
    }
    // A front end shows the cursor at once, even in the middle of a long action.
    std::function<void(TCursor)> OnCursorChange;

private:
    TCursor cursor_ = TCursor::crDefault;
};

extern TApplication* Application;
extern TScreen* Screen;

class TCursorGuard {
public:
    explicit TCursorGuard(TCursor c) {
        if (Screen) Screen->SetCursor(c);
    }
    ~TCursorGuard() {
        if (Screen) Screen->SetCursor(TCursor::crDefault);
    }
    TCursorGuard(const TCursorGuard&) = delete;
    TCursorGuard& operator=(const TCursorGuard&) = delete;
};
