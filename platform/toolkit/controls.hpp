// Simple controls without behaviour of their own: panels, scroll boxes, labels, pictures and image
// lists. They carry what a front end needs to draw them (captions, geometry, colours, fonts).
#pragma once

#include "component.hpp"

class TPanel : public TControl {
public:
    using TControl::TControl;
    std::string BevelOuter = "bvRaised";
    std::string Align = "alNone";
};

class TScrollBox : public TControl {
public:
    using TControl::TControl;
    std::string Align = "alNone";
};

class TLabel : public TControl {
public:
    using TControl::TControl;
    bool Transparent = false;
};

class TImage : public TControl {
public:
    using TControl::TControl;
    bool Stretch = false;
    std::string Picture;  // name of the artwork, drawn by the front end
};

class TImageList : public TComponent {
public:
    using TComponent::TComponent;
    int Width = 16, Height = 16;
    std::vector<std::string> Images;  // names of the 16 x 16 artworks, by index
    int Count() const { return static_cast<int>(Images.size()); }
};
