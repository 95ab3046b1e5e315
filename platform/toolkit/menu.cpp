#include "menu.hpp"

#include <algorithm>
#include <map>
#include <stdexcept>

namespace {

struct KeyName {
    const char* name;
    Word key;
};

const KeyName kKeyNames[] = {
    {"Enter", VK_RETURN}, {"Esc", VK_ESCAPE}, {"Tab", VK_TAB}, {"Space", VK_SPACE}, {"BkSp", VK_BACK},
    {"Del", VK_DELETE},   {"Ins", VK_INSERT}, {"Home", VK_HOME}, {"End", VK_END},   {"PgUp", VK_PRIOR},
    {"PgDn", VK_NEXT},    {"Left", VK_LEFT},  {"Right", VK_RIGHT}, {"Up", VK_UP},   {"Down", VK_DOWN},
};

}  // namespace

Word KeyFromName(const std::string& name) {
    for (auto& k : kKeyNames)
        if (name == k.name) return k.key;
    if (name == "Delete") return VK_DELETE;
    if (name == "Return") return VK_RETURN;
    if (name.size() > 1 && name[0] == 'F') {
        try {
            size_t used = 0;
            int n = std::stoi(name.substr(1), &used);
            if (used == name.size() - 1 && n >= 1 && n <= 24) return static_cast<Word>(VK_F1 + n - 1);
        } catch (const std::exception&) {
        }
        return 0;
    }
    if (name.size() == 1) {
        char c = name[0];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
        if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return static_cast<Word>(c);
    }
    return 0;
}

static std::string keyName(Word key) {
    for (auto& k : kKeyNames)
        if (k.key == key) return k.name;
    if (key >= VK_F1 && key <= VK_F24) {
        std::string name = "F";
        name += std::to_string(key - VK_F1 + 1);
        return name;
    }
    if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9')) return std::string(1, static_cast<char>(key));
    return "";
}

TShortCut ShortCut(Word key, TShiftState shift) {
    TShortCut sc = key;
    if (shift.Contains(TShiftState::Shift)) sc |= scShift;
    if (shift.Contains(TShiftState::Ctrl)) sc |= scCtrl;
    if (shift.Contains(TShiftState::Alt)) sc |= scAlt;
    return sc;
}

TShortCut TextToShortCut(const std::string& text) {
    if (text.empty()) return 0;
    TShortCut mods = 0;
    std::string rest = text;
    for (;;) {
        if (rest.rfind("Ctrl+", 0) == 0) { mods |= scCtrl; rest = rest.substr(5); }
        else if (rest.rfind("Shift+", 0) == 0) { mods |= scShift; rest = rest.substr(6); }
        else if (rest.rfind("Alt+", 0) == 0) { mods |= scAlt; rest = rest.substr(4); }
        else break;
    }
    Word key = KeyFromName(rest);
    if (!key) throw std::invalid_argument("Tecla desconhecida: " + text);
    return mods | key;
}

std::string ShortCutToText(TShortCut sc) {
    if (!sc) return "";
    std::string name = keyName(static_cast<Word>(sc & 0xFF));
    if (name.empty()) return "";
    std::string out;
    if (sc & scShift) out += "Shift+";
    if (sc & scCtrl) out += "Ctrl+";
    if (sc & scAlt) out += "Alt+";
    return out + name;
}

TMenuItem* TMenuItem::Add(std::unique_ptr<TMenuItem> item) {
    item->parent_ = this;
    items_.push_back(std::move(item));
    return items_.back().get();
}

TMenuItem* TMenuItem::AddNew(const std::string& caption, const std::string& name) {
    auto item = std::make_unique<TMenuItem>(nullptr);
    item->Caption = caption;
    item->Name = name;
    return Add(std::move(item));
}

void TMenuItem::Delete(int i) { items_.erase(items_.begin() + i); }

void TMenuItem::Click() {
    if (Enabled && OnClick) OnClick(this);
}

TMenuItem* TMenuItem::FindShortCut(TShortCut sc) {
    for (auto& item : items_) {
        if (!item->Visible || !item->Enabled) continue;
        if (item->ShortCut == sc && item->OnClick) return item.get();
        if (auto found = item->FindShortCut(sc)) return found;
    }
    return nullptr;
}

void TPopupMenu::Popup(TComponent* forControl) {
    PopupComponent = forControl;
    if (OnPopup) OnPopup(this);
}

std::vector<TMenuItem*> MergeMenus(const TMainMenu& host, const TMainMenu* child) {
    std::vector<TMenuItem*> out;
    std::vector<int> childGroups;
    if (child)
        for (int i = 0; i < child->Items()->Count(); ++i) childGroups.push_back(child->Items()->Items(i)->GroupIndex);
    for (int i = 0; i < host.Items()->Count(); ++i) {
        TMenuItem* item = host.Items()->Items(i);
        if (std::find(childGroups.begin(), childGroups.end(), item->GroupIndex) == childGroups.end()) out.push_back(item);
    }
    if (child) {
        for (int i = 0; i < child->Items()->Count(); ++i) {
            TMenuItem* item = child->Items()->Items(i);
            auto pos = std::find_if(out.begin(), out.end(), [&](TMenuItem* m) { return m->GroupIndex > item->GroupIndex; });
            out.insert(pos, item);
        }
    }
    return out;
}
