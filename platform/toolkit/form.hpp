// TForm: a window with its components (owned, see TComponent), an optional main menu, the focused
// control and the routing of keys. Keys reach the form the way users expect from a desktop toolkit:
// an enabled menu entry with an action whose shortcut matches takes the key first (the focused
// control's popup menu, then the form's main menu); otherwise the focused control's key-down handler
// gets it, or the form's own when no control has the focus (or first, with KeyPreview).
// Closing raises OnClose with an action; caFree releases the form: the application destroys it once
// the event that closed it has completed, never while its close is in progress.
#pragma once

#include <set>

#include "component.hpp"
#include "menu.hpp"

enum class TFormStyle { fsNormal, fsMDIChild, fsMDIForm };
enum class TBorderIcon { biSystemMenu, biMinimize, biMaximize, biHelp };

class TForm : public TControl {
public:
    explicit TForm(TComponent* owner);
    ~TForm() override;
    bool IsWindowed() const override { return true; }

    TFormStyle FormStyle = TFormStyle::fsNormal;
    std::string Position = "poDefault";
    std::set<TBorderIcon> BorderIcons{TBorderIcon::biSystemMenu, TBorderIcon::biMinimize, TBorderIcon::biMaximize};
    TMainMenu* Menu = nullptr;  // not owned (a component of the form)
    bool KeyPreview = false;
    TNotifyEvent OnCreate, OnDestroy, OnShow;
    TCloseEvent OnClose;

    TWindowState WindowState() const { return windowState_; }
    void SetWindowState(TWindowState s) { windowState_ = s; }
    void Show();
    void BringToFront();
    // Asks the form to close: OnClose decides the action (default: hide; minimize for MDI children).
    void Close();
    // Destroys the form once the current event has completed.
    void Release();
    bool Released() const { return released_; }

    TControl* ActiveControl() const { return active_; }
    // Moves the input focus; raises OnExit of the control that loses it and OnEnter of the new one.
    void FocusControl(TControl* c);
    // A key pressed while this form is active, routed as described above.
    void KeyDown(Word key, TShiftState shift);

    // Runs OnCreate; used by the application's form factory once the instance is assigned.
    void DoCreate();

private:
    TWindowState windowState_ = TWindowState::wsNormal;
    TControl* active_ = nullptr;
    bool released_ = false;
    bool closing_ = false;
};
