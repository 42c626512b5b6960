#pragma once

class QLineEdit;

// Makes a password box echo "*" for every character typed, as the examination
// system's other windows do, instead of the style's own mask character.
void echoAsterisks(QLineEdit* box);
