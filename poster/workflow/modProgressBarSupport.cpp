#include "poster/workflow/modProgressBarSupport.h"

#include <QProgressBar>
#include <QVariant>

namespace {
const char* const StyleProperty = "windowStyle";

// The blocks of a bar without the smooth style.
const QString BlockStyle = QStringLiteral("QProgressBar::chunk { width: 8px; margin: 1px; }");
} // namespace

void SetWindowStyleBits(QWidget* control, int bits, bool on)
{
    if (!control)
        return;
    const int style = control->property(StyleProperty).toInt();
    const int changed = on ? style | bits : style & ~bits;
    control->setProperty(StyleProperty, changed);
    if (auto* bar = qobject_cast<QProgressBar*>(control))
        bar->setStyleSheet(changed & PBS_SMOOTH ? QString() : BlockStyle);
}

void SetProgressBarSmooth(QProgressBar* bar, bool on)
{
    SetWindowStyleBits(bar, PBS_SMOOTH, on);
}
