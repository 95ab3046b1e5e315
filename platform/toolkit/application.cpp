#include "application.hpp"

#include <algorithm>
#include <iostream>

TApplication* Application = nullptr;
TScreen* Screen = nullptr;

TApplication::TApplication() : TComponent(nullptr) {}

TApplication::~TApplication() {
    pendingRelease_.clear();
    if (Application == this) Application = nullptr;
}

int TApplication::MessageDlg(const std::string& text, TMsgDlgType type, const std::vector<TMsgDlgBtn>& buttons) {
    if (OnMessageDlg) return OnMessageDlg(text, type, buttons);
    std::cerr << text << std::endl;
    return mrOk;
}

void TApplication::HandleException(std::exception_ptr e) {
    if (OnException) {
        OnException(e);
        return;
    }
    try {
        std::rethrow_exception(e);
    } catch (const EAbort&) {
    } catch (const std::exception& ex) {
        MessageDlg(ex.what(), TMsgDlgType::mtError, {TMsgDlgBtn::mbOK});
    } catch (...) {
        MessageDlg("Erro desconhecido", TMsgDlgType::mtError, {TMsgDlgBtn::mbOK});
    }
}

std::vector<TForm*> TApplication::Forms() const {
    std::vector<TForm*> out;
    for (int i = 0; i < ComponentCount(); ++i)
        if (auto f = dynamic_cast<TForm*>(Components(i)); f && !f->Released()) out.push_back(f);
    return out;
}

std::vector<TForm*> TApplication::MDIChildren() const {
    std::vector<TForm*> out;
    for (TForm* f : Forms())
        if (f->FormStyle == TFormStyle::fsMDIChild) out.push_back(f);
    return out;
}

void TApplication::ProcessReleases() {
    while (!pendingRelease_.empty()) {
        TForm* f = pendingRelease_.front();
        pendingRelease_.erase(pendingRelease_.begin());
        if (f->OnDestroy) f->OnDestroy(f);
        auto owned = Release(f);  // destroyed here when the application owned it
        if (!owned && f->Owner()) owned = f->Owner()->Release(f);
    }
}

void TApplication::FormDestroying(TForm* f) {
    if (active_ == f) active_ = nullptr;
    if (MainForm == f) MainForm = nullptr;
    pendingRelease_.erase(std::remove(pendingRelease_.begin(), pendingRelease_.end(), f), pendingRelease_.end());
}
