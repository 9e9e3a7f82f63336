#pragma once
// modFormLayout: what the program's windows share in laying out their controls and
// reading keys. The windows were designed in twips.
#include <Qt>

class QWidget;

constexpr int TwipsPerPixel = 15;

// Places a control by its design-time position and size in twips.
void PlaceControl(QWidget* control, int left, int top, int width, int height);
// Only the modifier keys that a key handler tells apart: Shift, Ctrl and Alt.
Qt::KeyboardModifiers ShiftState(Qt::KeyboardModifiers modifiers);
