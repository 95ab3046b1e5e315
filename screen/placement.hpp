// Creates a control owned by the form, named and placed in its parent with its geometry.
#pragma once

#include "toolkit/form.hpp"

template <class T>
T* PlaceControl(TForm* form, TControl* parent, const char* name, int left, int top, int width, int height) {
    T* c = form->Owned<T>();
    c->Name = name;
    c->Parent = parent;
    c->Left = left;
    c->Top = top;
    c->Width = width;
    c->Height = height;
    return c;
}
