// Qt's keys and modifiers as the toolkit's virtual key codes and shift states.
#pragma once

#include <Qt>

#include "toolkit/types.hpp"

class QKeyEvent;

// The toolkit's key code of a key event, or 0 for keys the screens do not know (Tab stays Qt's, to
// move the focus).
Word KeyOf(const QKeyEvent* e);
TShiftState ShiftOf(Qt::KeyboardModifiers m);
