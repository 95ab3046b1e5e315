#include "component.hpp"

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
