#pragma once
// The stored form of a remembered password, and back. Three forms: "" for an empty
// password; "Z" + upper-case hexadecimal of protected data; or the scrambled form,
// four hexadecimal digits per character in reverse order (no key: only against a
// glance). Decoding tells them apart by the first character.
#include <QByteArray>
#include <QString>

// mode 0: scrambled; 1: protected for this computer; 2: protected for the user. Modes 1
// and 2 scramble only on a system without data protection: when the protection fails,
// the result is "" and errorCode tells why (an errno value of the key's folder or file).
// Any other mode, or an empty password, gives "". A password that neither form can
// carry unchanged gives "" rather than an altered value.
QString EncodePassword(const QString& password, int mode, int* errorCode = nullptr);
// The password, or "" when stored is empty or cannot be decoded.
QString DecodePassword(const QString& stored);

// "Z" + hexadecimal, or "" on any failure, whose code goes to errorCode (never 0).
QString ProtectToHex(const QString& password, bool machineWide, int* errorCode = nullptr);
// The password, or "" when stored is not a protected value that this user can read.
QString UnprotectFromHex(const QString& stored);
// "" for a password with a character outside the ANSI code page.
QString ScramblePassword(const QString& password);
// The password, or "" when the length is not a multiple of 4 or a digit pair is not
// hexadecimal.
QString UnscramblePassword(const QString& stored);

// Upper-case, two digits a byte; false for an empty array.
bool BytesToHex(const QByteArray& bytes, QString* text);
// Either letter case; "" gives an empty array; false for odd length or a non-hex pair.
bool HexToBytes(const QString& text, QByteArray* bytes);
