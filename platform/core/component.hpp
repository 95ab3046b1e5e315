// TObject and TComponent: the root of every object of the client, below both the user-interface
// toolkit and the data layer. A component may own others: the owner holds them by std::unique_ptr and
// destroys them, last created first, when it is destroyed. Owned() creates a component inside its
// owner and returns a non-owning pointer.
#pragma once

#include <memory>
#include <string>
#include <vector>

class TObject {
public:
    virtual ~TObject() = default;
};

class TComponent : public TObject {
public:
    explicit TComponent(TComponent* owner) : owner_(owner) {}
    ~TComponent() override;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    std::string Name;
    long Tag = 0;

    TComponent* Owner() const { return owner_; }
    int ComponentCount() const { return static_cast<int>(components_.size()); }
    TComponent* Components(int i) const { return components_.at(static_cast<size_t>(i)).get(); }
    // Owned component with that name (exact), or nullptr.
    TComponent* FindComponent(const std::string& name) const;

    template <class T, class... A>
    T* Owned(A&&... args) {
        auto p = std::make_unique<T>(this, std::forward<A>(args)...);
        T* raw = p.get();
        components_.push_back(std::move(p));
        return raw;
    }
    // Takes ownership of a component created elsewhere with this as its owner.
    TComponent* Adopt(std::unique_ptr<TComponent> c);
    // Gives up ownership (for forms released by the application).
    std::unique_ptr<TComponent> Release(TComponent* c);

private:
    TComponent* owner_;
    std::vector<std::unique_ptr<TComponent>> components_;
};
