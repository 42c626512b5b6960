#include "ui/ThreadedInteraction.h"

#include <QEventLoop>
#include <QThread>

#include "mapping/MappingModel.h"

void WorkerCalls::push(std::function<void()> task) {
  {
    const std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
  }
  wake_.notify_all();
}

void WorkerCalls::serve() {
  for (;;) {
    std::function<void()> task;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return closed_ || !tasks_.empty(); });
      if (tasks_.empty()) return;
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
  }
}

void WorkerCalls::close() {
  {
    const std::lock_guard lock(mutex_);
    closed_ = true;
  }
  wake_.notify_all();
}

void WorkerCalls::call(const std::function<void()>& work) {
  QEventLoop loop;
  bool done = false;
  std::exception_ptr failure;
  push([&] {
    try {
      work();
    } catch (...) {
      failure = std::current_exception();
    }
    QMetaObject::invokeMethod(
        &loop,
        [&] {
          done = true;
          loop.quit();
        },
        Qt::QueuedConnection);
  });
  if (!done) loop.exec();
  if (failure) std::rethrow_exception(failure);
}

void ThreadedInteraction::onGui(const std::function<void()>& work) {
  if (!context_ || QThread::currentThread() == context_->thread()) {
    work();
    return;
  }
  QMetaObject::invokeMethod(context_, work, Qt::BlockingQueuedConnection);
}

Answer ThreadedInteraction::MsgBox(const QString& prompt, MessageStyle style, const QString& title) {
  Answer answer = Answer::Cancel;
  onGui([&] { answer = gui_.MsgBox(prompt, style, title); });
  return answer;
}

std::optional<QString> ThreadedInteraction::InputBox(const QString& prompt, const QString& title,
                                                     const QString& defaultText) {
  std::optional<QString> text;
  onGui([&] { text = gui_.InputBox(prompt, title, defaultText); });
  return text;
}

Answer ThreadedInteraction::Ask(Question question, const QString& argument) {
  Answer answer = Answer::Cancel;
  onGui([&] { answer = gui_.Ask(question, argument); });
  return answer;
}

std::optional<QString> ThreadedInteraction::AskText(TextQuestion question) {
  std::optional<QString> text;
  onGui([&] { text = gui_.AskText(question); });
  return text;
}

Answer ThreadedInteraction::ConfirmCourseUpdate(const UpdatePreview& preview) {
  Answer answer = Answer::Cancel;
  onGui([&] { answer = gui_.ConfirmCourseUpdate(preview); });
  return answer;
}

// The form is shown by the GUI thread; this thread serves its buttons until
// the form is closed.
void ThreadedInteraction::ShowMappingDialog(MappingModel& model) {
  MappingDialog* const dialog = MappingDialog::of(gui_);
  if (!dialog) return;
  if (!context_ || QThread::currentThread() == context_->thread()) {
    dialog->ShowMappingDialog(model);
    return;
  }
  WorkerCalls calls;
  model.engineCall = [&calls](const std::function<void()>& work) { calls.call(work); };
  QMetaObject::invokeMethod(
      context_,
      [&] {
        try {
          dialog->ShowMappingDialog(model);
        } catch (...) {  // the worker must be let go of whatever the form did
        }
        calls.close();
      },
      Qt::QueuedConnection);
  calls.serve();
  model.engineCall = nullptr;
}

void ThreadedInteraction::SetBusy(bool busy) {
  onGui([&] { gui_.SetBusy(busy); });
}

void ThreadedInteraction::OpenFolder(const QString& path) {
  onGui([&] { gui_.OpenFolder(path); });
}
