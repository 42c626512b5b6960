#pragma once
#include <QString>
#include <QtGlobal>

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <optional>

#include "core/Interaction.h"

// How one transfer (one file imported, one course exported) ended, and why.
struct TransferResult {
  enum class Status { Succeeded, Declined, Cancelled, Failed };
  Status status = Status::Failed;
  QString file;
  // Why it did not succeed: the underlying error or the refusal, for the
  // person who reads the summary.
  QString reason;
  // The engine has already shown the reason in a message box.
  bool shown = false;
  // Declined: the question whose answer stopped it, when one did.
  std::optional<Question> declinedAt;

  static TransferResult ended(Status status, QString file, QString reason = {}, bool shown = false) {
    TransferResult r;
    r.status = status;
    r.file = std::move(file);
    r.reason = std::move(reason);
    r.shown = shown;
    return r;
  }

  bool succeeded() const { return status == Status::Succeeded; }
  explicit operator bool() const { return succeeded(); }
};

// Raised inside an engine when its session is asked to stop; the engine rolls
// back and ends with a Cancelled result.
class TransferCancelled : public std::exception {
 public:
  const char* what() const noexcept override { return "transfer cancelled"; }
};

// Set from any thread (the window's 取消, a signal handler's flag); read by
// the engine between rows.
class CancelFlag {
 public:
  void request() { requested_.store(true, std::memory_order_relaxed); }
  bool requested() const { return requested_.load(std::memory_order_relaxed); }
  void throwIfRequested() const {
    if (requested()) throw TransferCancelled();
  }

 private:
  std::atomic<bool> requested_{false};
};

// Raised before each stage: a percentage 0..100 and the stage's text.
using ProgressHandler = std::function<void(qint16 nBarValue, const QString& strMessage)>;

// What every transfer session has: who it asks and whether it has been asked
// to stop.
class TransferSession {
 public:
  explicit TransferSession(Interaction& ui, std::shared_ptr<CancelFlag> cancel = nullptr)
      : ui_(&ui), cancel_(cancel ? std::move(cancel) : std::make_shared<CancelFlag>()) {}

  Interaction& ui() const { return *ui_; }
  const std::shared_ptr<CancelFlag>& cancelFlag() const { return cancel_; }
  void checkCancel() const { cancel_->throwIfRequested(); }

 private:
  Interaction* ui_;
  std::shared_ptr<CancelFlag> cancel_;
};
