#pragma once
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

struct UpdatePreview;

// The questions the engines ask. Each is answered by value, never recognised
// by its text; promptFor gives the system's own words for showing it.
enum class Question {
  ReplaceExchangeFile,      // the exchange file exists: Yes replaces it, No asks for another name, Cancel stops
  EmptyExchangeFile,        // the file's rows will be deleted: Yes goes on
  RenameConflictingCourse,  // a course of that name exists: OK imports it renamed, Cancel skips the file
  CreateUnpairedSubjects,   // the unpaired exchange items are created in the system database: Yes goes on
  CreateUnpairedFeatures,
  CreateUnpairedPartitions,
  ApplyCourseUpdate,        // the preview of a course update: OK writes it, Cancel leaves the course as it is
};

// The one question answered with a text.
enum class TextQuestion {
  NewExchangeFileName,  // the name of the export file instead of the existing one
};

// What a message box looks like: its icon, its buttons and the one a bare
// Enter presses.
enum class MessageKind { Plain, Information, Warning, Error, Question };
enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel };
enum class Answer { Ok, Cancel, Yes, No };

struct MessageStyle {
  constexpr MessageStyle(MessageKind kind = MessageKind::Plain, Buttons buttons = Buttons::Ok,
                         std::optional<Answer> byDefault = std::nullopt)
      : kind(kind), buttons(buttons), byDefault(byDefault) {}
  bool operator==(const MessageStyle&) const = default;

  MessageKind kind;
  Buttons buttons;
  std::optional<Answer> byDefault;  // the first button when none
};

// The buttons in the order they are shown.
QList<Answer> answersOf(Buttons buttons);
// The answer that changes nothing: what a box answers that nobody can see.
Answer cautiousAnswer(Buttons buttons);

struct Prompt {
  QString text;
  MessageStyle style;
  QString title;
};
// argument: the file path or course name the question is about.
Prompt promptFor(Question question, const QString& argument = {});
Prompt promptFor(TextQuestion question);

// Everything an engine asks of or tells a person goes through this interface,
// so that the engines run headless: message boxes, typed questions, the input
// box, the busy pointer and opening a folder (the mapping form is the mapping
// layer's MappingDialog). The windows, the command line and the tests each
// have their own implementation.
class Interaction {
 public:
  virtual ~Interaction() = default;

  // A message; an empty title means the application title. Returns the
  // button pressed.
  virtual Answer MsgBox(const QString& prompt, MessageStyle style = {}, const QString& title = {}) = 0;
  // nullopt when the person cancels.
  virtual std::optional<QString> InputBox(const QString& prompt, const QString& title = {},
                                          const QString& defaultText = {}) = 0;
  // A typed question; by default shown as its prompt in a message box.
  virtual Answer Ask(Question question, const QString& argument);
  virtual std::optional<QString> AskText(TextQuestion question);
  // The ApplyCourseUpdate question with what the update would change; by
  // default its lines in a message box. Answers Ok or Cancel.
  virtual Answer ConfirmCourseUpdate(const UpdatePreview& preview);
  virtual void SetBusy(bool busy) { (void)busy; }
  // The message now open, if any, has lost its object (the transfer it asks
  // about has ended): it closes as if answered with its last button.
  virtual void WithdrawQuestion() {}
  virtual void OpenFolder(const QString& path) { (void)path; }

  // The implementation for the windows' own messages (login, settings, error
  // log); a quiet one until another is installed. Transfers get theirs
  // passed in instead.
  static Interaction& current();
  // Installs an implementation and returns the previous one.
  static std::shared_ptr<Interaction> install(std::shared_ptr<Interaction> next);
};

inline Interaction& interaction() { return Interaction::current(); }

// Installs an implementation for the lifetime of the object (tests, commands).
class ScopedInteraction {
 public:
  explicit ScopedInteraction(std::shared_ptr<Interaction> next)
      : previous_(Interaction::install(std::move(next))) {}
  ~ScopedInteraction() { Interaction::install(previous_); }
  ScopedInteraction(const ScopedInteraction&) = delete;
  ScopedInteraction& operator=(const ScopedInteraction&) = delete;

 private:
  std::shared_ptr<Interaction> previous_;
};
