#pragma once
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class MappingModel;

// Everything an engine asks of a person goes through this interface, so that the
// engines run headless: message boxes, the input box, the modal mapping step,
// pending-event processing, the busy pointer and opening a folder. The windows,
// the command line and the tests each install their own implementation.
class Interaction {
 public:
  virtual ~Interaction() = default;

  // flags: Vb:: buttons | icon | default button. An empty title means the
  // application title. Returns Vb::OK, Vb::Cancel, Vb::Yes or Vb::No.
  virtual int MsgBox(const QString& prompt, int flags = 0, const QString& title = {}) = 0;
  // nullopt when the person cancels.
  virtual std::optional<QString> InputBox(const QString& prompt, const QString& title = {},
                                          const QString& defaultText = {}) = 0;
  // Shows the mapping form modally for the step in model.intStep and returns
  // once the form is unloaded (finish or cancel).
  virtual void ShowMappingDialog(MappingModel& model) = 0;
  virtual void DoEvents() {}
  virtual void SetBusy(bool busy) { (void)busy; }
  virtual void OpenFolder(const QString& path) { (void)path; }

  // The program-wide implementation in force; a quiet one until another is installed.
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
