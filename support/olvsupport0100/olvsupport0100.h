#pragma once
// olvsupport0100: text, encoding and window-decoration functions. Every function
// returns a status (negative on failure) and delivers its result through its last
// argument; callers turn a negative status into a raised error (checkStatus).
#include <QByteArray>
#include <QString>

#define OLVSUPPORT_EXPORT __attribute__((visibility("default")))

class QWidget;
class QPixmap;

// UTF-8 of text, as a text holding one byte value per character.
OLVSUPPORT_EXPORT int suUNICODEToUTF8(const QString& text, QString* result);
// Decodes a text holding one UTF-8 byte per character; invalid sequences become U+FFFD.
OLVSUPPORT_EXPORT int suUTF8ToUNICODE(const QString& text, QString* result);
// Byte i = low byte of character i.
OLVSUPPORT_EXPORT int suStrConvB(const QString& text, QByteArray* result);
// One character per byte: the inverse of suStrConvB.
OLVSUPPORT_EXPORT int suStrConvW(const QByteArray& bytes, QString* result);
OLVSUPPORT_EXPORT int suGetStringFromPointerW(const char16_t* pointer, QString* result);
// The buffer is in the ANSI code page.
OLVSUPPORT_EXPORT int suGetStringFromPointerA(const char* pointer, QString* result);
// White space: space, tab, CR, LF, vertical tab, form feed and no-break space.
OLVSUPPORT_EXPORT int suTrimEx(const QString& text, QString* result);
// The ten flags choose kinds of white space; callers pass five on and five off.
OLVSUPPORT_EXPORT int suTrimEx2(const QString& text, bool spaces, bool tabs, bool returns,
                                bool feeds, bool nulls, bool unused6, bool unused7, bool unused8,
                                bool unused9, bool unused10, QString* result);
OLVSUPPORT_EXPORT int suTrimCRLF(const QString& text, QString* result);
OLVSUPPORT_EXPORT int suCutRight(const QString& text, int count, QString* result);
// "1 hr 05 min 07 sec", "8 min 00 sec", "3 sec".
OLVSUPPORT_EXPORT int suFormatTimeInterval(double milliseconds, QString* result);

// Window functions: in libolvsupportui, which only programs with windows link.
OLVSUPPORT_EXPORT int suSetWindowResIconAll(QWidget* window, const QString& resourceName);
// Call from the form's paint event: the wallpaper where the desktop names one, else a
// quiet gradient.
OLVSUPPORT_EXPORT int suPaintDesktop2(QWidget* form);
OLVSUPPORT_EXPORT int suLoadResIconEx(const QString& resourceName, void* instance, QPixmap* result);
