#pragma once
// Window style bits of a control. Qt widgets have no native style word, so the bits
// are kept on the control (property "windowStyle") and the ones Qt can show are shown.
class QProgressBar;
class QWidget;

// The progress bar's smooth style: one solid bar rather than separate blocks.
constexpr int PBS_SMOOTH = 1;

// Sets (on) or clears the given bits of the control's style, keeping the others.
void SetWindowStyleBits(QWidget* control, int bits, bool on);
// SetWindowStyleBits with PBS_SMOOTH.
void SetProgressBarSmooth(QProgressBar* bar, bool on);
