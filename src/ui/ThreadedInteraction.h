#pragma once
#include <QObject>
#include <QPointer>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "core/Interaction.h"
#include "mapping/MappingDialog.h"

// Work a waiting worker thread runs for the GUI thread. The worker serves
// until the GUI closes the channel; the GUI hands over a call and keeps
// handling events until it is done, since the call may ask the GUI something.
class WorkerCalls {
 public:
  void serve();
  void close();
  // Runs work on the serving thread; rethrows what it threw.
  void call(const std::function<void()>& work);

 private:
  void push(std::function<void()> task);

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> tasks_;
  bool closed_ = false;
};

// The interaction a transfer's worker thread uses: every question and message
// is shown by the GUI thread's implementation while the worker waits; the
// mapping form's buttons run back on the worker, where the import's
// connections live.
class ThreadedInteraction : public Interaction, public MappingDialog {
 public:
  ThreadedInteraction(Interaction& gui, QObject* guiContext) : gui_(gui), context_(guiContext) {}

  Answer MsgBox(const QString& prompt, MessageStyle style, const QString& title) override;
  std::optional<QString> InputBox(const QString& prompt, const QString& title,
                                  const QString& defaultText) override;
  Answer Ask(Question question, const QString& argument) override;
  std::optional<QString> AskText(TextQuestion question) override;
  Answer ConfirmCourseUpdate(const UpdatePreview& preview) override;
  void ShowMappingDialog(MappingModel& model) override;
  void SetBusy(bool busy) override;
  void OpenFolder(const QString& path) override;

 private:
  // Runs work on the GUI thread and waits for it (directly when already there).
  void onGui(const std::function<void()>& work);

  Interaction& gui_;
  QPointer<QObject> context_;
};
