#pragma once
#include <QString>

// Module MD5bas: the program's own RFC 1321 digest, as the examination
// system's programs compute the password digests stored in userinfo.
//
// The text is taken character by character, each character contributing its
// code in the ANSI code page (GBK). A single-byte code is the ordinary byte, so
// ASCII text digests exactly as standard MD5. A double-byte code enters as its
// 16-bit value sign-extended to 32 bits and OR-ed into its message word at the
// character's position; the message length is 8 x the number of characters.
// Digests made this way are what other programs stored, so the rule is kept.
//
// nDigits 32: the 32 lower-case hex digits of the digest; any other count:
// the 16 digits of its middle two words.
QString MD5(const QString& sMessage, int nDigits = 32);
