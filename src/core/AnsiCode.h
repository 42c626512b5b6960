#pragma once
#include <QChar>

// A character's code in the ANSI code page the examination system's programs
// run under (GBK), as those programs see one character: the byte for a
// single-byte character, lead byte x 256 + trail byte for a double-byte one,
// and "?" for a character the code page cannot hold.
int ansiCode(QChar c);
// The character of such a code; "?" when the code page has none.
QChar fromAnsiCode(int code);
