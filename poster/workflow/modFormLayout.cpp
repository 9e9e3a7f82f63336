#include "poster/workflow/modFormLayout.h"

#include <QWidget>

void PlaceControl(QWidget* control, int left, int top, int width, int height)
{
    control->setGeometry(left / TwipsPerPixel, top / TwipsPerPixel, width / TwipsPerPixel,
                         height / TwipsPerPixel);
}

Qt::KeyboardModifiers ShiftState(Qt::KeyboardModifiers modifiers)
{
    return modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
}
