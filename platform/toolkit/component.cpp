#include "component.hpp"

#include "form.hpp"

TComponent::~TComponent() {
    while (!components_.empty()) components_.pop_back();
}

TComponent* TComponent::FindComponent(const std::string& name) const {
    for (auto& c : components_)
        if (c->Name == name) return c.get();
    return nullptr;
}

TComponent* TComponent::Adopt(std::unique_ptr<TComponent> c) {
    components_.push_back(std::move(c));
    return components_.back().get();
}

std::unique_ptr<TComponent> TComponent::Release(TComponent* c) {
    for (auto it = components_.begin(); it != components_.end(); ++it) {
        if (it->get() == c) {
            auto p = std::move(*it);
            components_.erase(it);
            return p;
        }
    }
    return nullptr;
}

TForm* TControl::GetParentForm() const {
    for (const TControl* c = this; c; c = c->Parent)
        if (auto f = dynamic_cast<const TForm*>(c)) return const_cast<TForm*>(f);
    for (TComponent* o = Owner(); o; o = o->Owner())
        if (auto f = dynamic_cast<TForm*>(o)) return f;
    return nullptr;
}

bool TControl::CanFocus() const {
    for (const TControl* c = this; c; c = c->Parent)
        if (!c->Visible || !c->Enabled) return false;
    return true;
}
