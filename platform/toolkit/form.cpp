#include "form.hpp"

#include "application.hpp"
#include "tree_view.hpp"

TForm::TForm(TComponent* owner) : TControl(owner) { Visible = false; }

TForm::~TForm() {
    if (Application) Application->FormDestroying(this);
}

void TForm::Show() {
    Visible = true;
    BringToFront();
    if (OnShow) OnShow(this);
}

void TForm::BringToFront() {
    if (Application) Application->Activate(this);
}

void TForm::Close() {
    if (closing_) return;
    closing_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{closing_};
    TCloseAction action = FormStyle == TFormStyle::fsMDIChild ? TCloseAction::caMinimize : TCloseAction::caHide;
    if (OnClose) OnClose(this, action);
    switch (action) {
        case TCloseAction::caNone: break;
        case TCloseAction::caHide: Visible = false; break;
        case TCloseAction::caMinimize: windowState_ = TWindowState::wsMinimized; break;
        case TCloseAction::caFree: Release(); break;
    }
}

void TForm::Release() {
    if (released_) return;
    released_ = true;
    Visible = false;
    if (Application) Application->ScheduleRelease(this);
}

void TForm::FocusControl(TControl* c) {
    if (c == active_) return;
    TControl* old = active_;
    active_ = c;
    if (old && old->OnExit) old->OnExit(old);
    if (c && c->OnEnter) c->OnEnter(c);
}

void TForm::KeyDown(Word key, TShiftState shift) {
    TControl* target = active_ ? active_ : this;
    TShortCut sc = ShortCut(key, shift);
    if (KeyPreview && target != this && OnKeyDown) {
        OnKeyDown(this, key, shift);
        if (key == 0) return;
        sc = ShortCut(key, shift);
    }
    if (target->PopupMenu) {
        if (TMenuItem* item = target->PopupMenu->FindShortCut(sc)) {
            item->Click();
            return;
        }
    }
    if (Menu) {
        if (TMenuItem* item = Menu->FindShortCut(sc)) {
            item->Click();
            return;
        }
    }
    if (target->OnKeyDown) target->OnKeyDown(target, key, shift);
    if (key == 0) return;
    if (auto tree = dynamic_cast<TTreeView*>(target)) tree->KeyNavigate(key);
}

void TForm::DoCreate() {
    if (!OnCreate) return;
    try {
        OnCreate(this);
    } catch (...) {
        // A failed creation handler is reported and the form still comes up with what it has.
        if (Application) Application->HandleException(std::current_exception());
        else throw;
    }
}
