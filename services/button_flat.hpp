// TButtonFlat: the framework's flat toolbar button with a two-state glyph and a hint. Click() in code
// fires OnClick whatever the Enabled state; a person's click on a disabled button does nothing (the
// host checks Enabled before it clicks).
#pragma once

#include "toolkit/component.hpp"

class TButtonFlat : public TControl {
public:
    using TControl::TControl;
    std::string Glyph;
    int NumGlyphs = 2;
    bool Flat = true;
    void Click() {
        if (OnClick) OnClick(this);
    }
};
