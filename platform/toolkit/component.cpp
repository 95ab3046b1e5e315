#include "component.hpp"

#include "form.hpp"

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
