// TComponent and TControl: the base of every toolkit object.
// A component may own others: the owner holds them by std::unique_ptr and destroys them, last created
// first, when it is destroyed. Owned() creates a component inside its owner and returns a non-owning
// pointer. A control also has a parent (the control it sits in; not owning) and the common visual
// properties and input events. Events are raised from code exactly as a person would cause them
// (see TForm and TApplication for focus, keys and drag and drop).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "types.hpp"

class TForm;
class TPopupMenu;

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

class TControl : public TComponent {
public:
    using TComponent::TComponent;

    TControl* Parent = nullptr;
    int Left = 0, Top = 0, Width = 0, Height = 0;
    bool Visible = true;
    bool Enabled = true;
    std::string Hint;
    bool ShowHint = false;
    std::string Caption;
    TColor Color = "clBtnFace";
    TFont Font;
    bool ParentFont = true;
    TPopupMenu* PopupMenu = nullptr;  // not owned
    bool DragAutomatic = false;       // a press and move on it starts a drag

    TNotifyEvent OnClick, OnDblClick, OnEnter, OnExit;
    TKeyEvent OnKeyDown;
    TMouseEvent OnMouseDown, OnMouseUp;
    TDragOverEvent OnDragOver;
    TDragDropEvent OnDragDrop;

    // The form the control sits on (through its parents, or its owner when it has no parent).
    TForm* GetParentForm() const;
    // Can take the focus: visible and enabled, and so are all its parents.
    bool CanFocus() const;
    virtual bool IsWindowed() const { return false; }
};
