#pragma once
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class MappingModel;
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

struct Prompt {
  QString text;
  int flags = 0;  // Vb:: buttons | icon | default button
  QString title;
};
// argument: the file path or course name the question is about.
Prompt promptFor(Question question, const QString& argument = {});
Prompt promptFor(TextQuestion question);

// Everything an engine asks of or tells a person goes through this interface,
// so that the engines run headless: message boxes, typed questions, the input
// box, the modal mapping step, the busy pointer and opening a folder. The
// windows, the command line and the tests each have their own implementation.
class Interaction {
 public:
  virtual ~Interaction() = default;

  // A message. flags: Vb:: buttons | icon | default button; an empty title
  // means the application title. Returns Vb::OK, Vb::Cancel, Vb::Yes or Vb::No.
  virtual int MsgBox(const QString& prompt, int flags = 0, const QString& title = {}) = 0;
  // nullopt when the person cancels.
  virtual std::optional<QString> InputBox(const QString& prompt, const QString& title = {},
                                          const QString& defaultText = {}) = 0;
  // A typed question; by default shown as its prompt in a message box.
  virtual int Ask(Question question, const QString& argument);
  virtual std::optional<QString> AskText(TextQuestion question);
  // The ApplyCourseUpdate question with what the update would change; by
  // default its lines in a message box. Returns Vb::OK or Vb::Cancel.
  virtual int ConfirmCourseUpdate(const UpdatePreview& preview);
  // Shows the mapping form modally for the step in model.intStep and returns
  // once the person has finished or cancelled it. The caller treats a form
  // still loaded afterwards as cancelled.
  virtual void ShowMappingDialog(MappingModel& model) = 0;
  virtual void SetBusy(bool busy) { (void)busy; }
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
