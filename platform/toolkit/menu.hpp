// Menus: TMenuItem (caption, shortcut, tag, name, enabled, checked, help context, action, submenu,
// merge group), TMainMenu and TPopupMenu. Items own their sub-items through std::unique_ptr. A
// shortcut is a key code with modifier bits, written as text the way menus show it ("F9", "Del",
// "Ctrl+F2"). A main menu merges into the host's menu bar by group index: the child's top-level items
// take the place of the host's items of the same group, other groups keep their order.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "component.hpp"

using TShortCut = std::uint32_t;
constexpr TShortCut scShift = 0x2000, scCtrl = 0x4000, scAlt = 0x8000;

// "Ctrl+F2" -> shortcut; empty text -> 0; unknown text -> throws std::invalid_argument.
TShortCut TextToShortCut(const std::string& text);
std::string ShortCutToText(TShortCut sc);
TShortCut ShortCut(Word key, TShiftState shift);
// Key name alone ("F5", "Del", "Enter", "A") -> key code, 0 when unknown.
Word KeyFromName(const std::string& name);

class TMenuItem : public TComponent {
public:
    using TComponent::TComponent;

    std::string Caption;  // "-" makes a separator
    TShortCut ShortCut = 0;
    bool Enabled = true;
    bool Checked = false;
    bool Visible = true;
    int HelpContext = 0;
    int GroupIndex = 0;
    TNotifyEvent OnClick;

    int Count() const { return static_cast<int>(items_.size()); }
    TMenuItem* Items(int i) const { return items_.at(static_cast<size_t>(i)).get(); }
    TMenuItem* Parent() const { return parent_; }
    // Appends an item; the item is owned by this one.
    TMenuItem* Add(std::unique_ptr<TMenuItem> item);
    TMenuItem* AddNew(const std::string& caption, const std::string& name = "");
    void Delete(int i);
    void Clear() { items_.clear(); }
    bool IsLine() const { return Caption == "-"; }
    // Runs the action, as choosing the entry does; a disabled entry does nothing.
    void Click();
    // Enabled entry (this or below) whose shortcut matches and that has an action, or nullptr.
    TMenuItem* FindShortCut(TShortCut sc);

private:
    TMenuItem* parent_ = nullptr;
    std::vector<std::unique_ptr<TMenuItem>> items_;
};

class TMenu : public TComponent {
public:
    explicit TMenu(TComponent* owner) : TComponent(owner), items_(std::make_unique<TMenuItem>(nullptr)) {}
    TMenuItem* Items() const { return items_.get(); }
    TMenuItem* FindShortCut(TShortCut sc) const { return items_->FindShortCut(sc); }

private:
    std::unique_ptr<TMenuItem> items_;  // root holding the top-level entries
};

class TMainMenu : public TMenu {
public:
    using TMenu::TMenu;
    bool AutoMerge = false;
};

class TPopupMenu : public TMenu {
public:
    using TMenu::TMenu;
    TNotifyEvent OnPopup;
    TComponent* PopupComponent = nullptr;  // the control it was last opened for; not owned
    // Opens the menu for a control: raises OnPopup, which may rebuild the entries.
    void Popup(TComponent* forControl);
};

// The top-level entries of a menu bar after merging a child menu into it, by group index.
std::vector<TMenuItem*> MergeMenus(const TMainMenu& host, const TMainMenu* child);
