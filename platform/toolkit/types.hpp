// Basic types shared by every toolkit class: key codes and shift states, mouse
// buttons, colours, cursors and the signatures of the event handlers that controls carry.
// Handlers are plain std::function values; an empty one means "no handler bound".
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/component.hpp"


using Word = std::uint16_t;

// Virtual key codes, the values desktop toolkits use for the keys the screens react to.
enum : Word {
    VK_NONE = 0, VK_BACK = 8, VK_TAB = 9, VK_RETURN = 13, VK_ESCAPE = 27, VK_SPACE = 32,
    VK_PRIOR = 33, VK_NEXT = 34, VK_END = 35, VK_HOME = 36, VK_LEFT = 37, VK_UP = 38, VK_RIGHT = 39,
    VK_DOWN = 40, VK_INSERT = 45, VK_DELETE = 46, VK_F1 = 0x70, VK_F24 = 0x87
};

// Modifier keys and mouse buttons held during an event; a small bit set.
struct TShiftState {
    enum Flag : unsigned { None = 0, Shift = 1, Alt = 2, Ctrl = 4, Left = 8, Right = 16, Middle = 32, Double = 64 };
    unsigned bits = None;
    TShiftState() = default;
    TShiftState(unsigned b) : bits(b) {}
    bool Contains(Flag f) const { return (bits & f) != 0; }
    TShiftState& operator|=(Flag f) { bits |= f; return *this; }
};

enum class TMouseButton { mbLeft, mbRight, mbMiddle };
enum class TDragState { dsDragEnter, dsDragLeave, dsDragMove };
enum class TCursor { crDefault, crHourGlass, crSQLWait };
enum class TWindowState { wsNormal, wsMinimized, wsMaximized };
enum class TCloseAction { caNone, caHide, caFree, caMinimize };

// Colours are kept by their system names ("clBtnFace", "clInfoBk", "clWindow", "clGray"...):
// a front end maps them to its palette.
using TColor = std::string;

struct TFont {
    std::string Name = "MS Sans Serif";
    int Size = 8;
    bool Bold = false;
    TColor Color = "clWindowText";
};

class TTreeNode;

using TNotifyEvent = std::function<void(TObject* Sender)>;
using TKeyEvent = std::function<void(TObject* Sender, Word& Key, TShiftState Shift)>;
using TMouseEvent = std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TDragOverEvent = std::function<void(TObject* Sender, TObject* Source, int X, int Y, TDragState State, bool& Accept)>;
using TDragDropEvent = std::function<void(TObject* Sender, TObject* Source, int X, int Y)>;
using TTVChangedEvent = std::function<void(TObject* Sender, TTreeNode* Node)>;
using TTVExpandingEvent = std::function<void(TObject* Sender, TTreeNode* Node, bool& Allow)>;
using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;
