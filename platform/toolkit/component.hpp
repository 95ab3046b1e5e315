// TControl: the base of every visual toolkit object (TComponent, below it, lives in the core library).
// A control has a parent (the control it sits in; not owning) and the common visual
// properties and input events. Events are raised from code exactly as a person would cause them
// (see TForm and TApplication for focus, keys and drag and drop).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/component.hpp"
#include "types.hpp"

class TForm;
class TPopupMenu;

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
