#pragma once
// olvsupportfbe0100: random numbers, hexadecimal digits, file names, system version
// tests and window functions. Every function returns a status (negative on failure)
// and delivers its result through its last argument.
#include <QString>

#define OLVSUPPORTFBE_EXPORT __attribute__((visibility("default")))

class QWidget;

OLVSUPPORTFBE_EXPORT int sxGetRnd(int lower, int upper, int reserved, int* result);
// Two upper-case hexadecimal digits.
OLVSUPPORTFBE_EXPORT int sxHex1(unsigned char byte, QString* result);
// Creates a new empty file (mode 0600, a name no other file has) in folder, or in the
// system's temporary folder when folder is empty, and returns its full path.
OLVSUPPORTFBE_EXPORT int sxGetTempFileName2(const QString& folder, const QString& prefix,
                                            QString* result);
// folder + exactly one separator + name; the further parts are joined the same way
// when not empty.
OLVSUPPORTFBE_EXPORT int sxBuildFileName2(const QString& folder, const QString& name,
                                          const QString& part3, const QString& part4,
                                          const QString& part5, const QString& part6,
                                          const QString& part7, const QString& part8,
                                          const QString& part9, QString* result);
// module: any address inside the module (its "instance handle").
OLVSUPPORTFBE_EXPORT int sxGetModuleFileName(const void* module, int reserved, QString* result);
// The folder part of a path, without a trailing separator.
OLVSUPPORTFBE_EXPORT int sxGetFilePath(const QString& path, QString* result);
OLVSUPPORTFBE_EXPORT int sxIsFileExist(const QString& path, bool* result);
OLVSUPPORTFBE_EXPORT int sxGetNewGUID(QString* result);

OLVSUPPORTFBE_EXPORT int sxIsHostWin95(bool* result);
OLVSUPPORTFBE_EXPORT int sxIsHostWin98(bool* result);
OLVSUPPORTFBE_EXPORT int sxIsHostWinME(bool* result);
OLVSUPPORTFBE_EXPORT int sxIsHostWin9x(bool* result);
OLVSUPPORTFBE_EXPORT int sxIsHostWinNT(bool* result);
OLVSUPPORTFBE_EXPORT int sxIsHostWin64(bool* result);
OLVSUPPORTFBE_EXPORT int sxIsHostWin2000_OrHigher(bool* result);
OLVSUPPORTFBE_EXPORT int sxWindowsVersionMajor(int* result);
OLVSUPPORTFBE_EXPORT int sxWindowsVersionMinor(int* result);

// Window functions: in libolvsupportui, which only programs with windows link.
OLVSUPPORTFBE_EXPORT int sxMsgBox2(const QString& message, int style, const QString& title,
                                   int* result);
OLVSUPPORTFBE_EXPORT int sxCenterFormEx(QWidget* window, int reserved);
OLVSUPPORTFBE_EXPORT int sxTextBox_SelectAll(QWidget* textBox);
// Opens ReadMe.TXT beside the program with the desktop's viewer.
OLVSUPPORTFBE_EXPORT int sxOpenReadMeFile(int reserved);
OLVSUPPORTFBE_EXPORT int sxRegisterAppPath();
OLVSUPPORTFBE_EXPORT int sxIsInIDE(bool* result);
OLVSUPPORTFBE_EXPORT int sxGetThunderMainHandle(QWidget** result);
OLVSUPPORTFBE_EXPORT int sxFixUserControlsContainerWindow();
