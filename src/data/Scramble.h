#pragma once
#include <QString>

// The one scrambling of stored user names and passwords, shared by the data
// access object, CRegistry and the settings dialog. The key is a text of
// decimal digits; a scrambled text is as many characters longer than the
// plain one as the key has digits.
QString ScrambleText(const QString& text, const QString& key);
// Empty text when the input is not longer than the key.
QString UnscrambleText(const QString& text, const QString& key);
