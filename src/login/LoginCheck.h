#pragma once
#include <QString>

// The login's checks, without a window: the login dialog and the command line
// both run them. Messages go through interaction().
namespace LoginCheck {

// The right to import courses.
constexpr long ImportCourseRight = 35;

enum class Outcome {
  Success,        // name, password and right all passed
  IllegalInput,   // an apostrophe in the name or the password
  WrongPassword,  // no such user, or the name and digest are not unique
  NoRight,        // right 35 missing
  Failed,         // the database could not be reached or a statement failed
};

// True when the text holds no apostrophe.
bool CheckInput(const QString& text);
// True when exactly one user has this name and the digest of "name:password".
// Raises DataError when the system database cannot be queried.
bool CheckPassword(const QString& strName, const QString& strPassword);
// True when the user holds the right through a role, a group's role or directly.
bool CheckRight(const QString& strName, long nRight);

// The whole login: reads nothing but its arguments (taken exactly as typed),
// shows each refusal's message and reports the outcome. Never throws.
Outcome login(const QString& strName, const QString& strPassword);

}  // namespace LoginCheck
