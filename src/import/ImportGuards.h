#pragma once
#include "core/Interaction.h"
#include "data/CDataAccess.h"

// What every course import and update holds while it writes: the busy
// pointer and the system database's transaction.

// The hourglass while a file is imported, the arrow again however it ends.
class BusyPointer {
 public:
  explicit BusyPointer(Interaction& ui) : ui_(ui) { ui_.SetBusy(true); }
  ~BusyPointer() { ui_.SetBusy(false); }
  BusyPointer(const BusyPointer&) = delete;
  BusyPointer& operator=(const BusyPointer&) = delete;

 private:
  Interaction& ui_;
};

// The system database's side of one import: a transaction begun at the
// start and rolled back unless the steps commit it.
class ImportTransaction {
 public:
  explicit ImportTransaction(CDataAccess& dal) : dal_(dal) { dal_.BeginTrans(); }
  ~ImportTransaction() {
    if (!dal_.IsInTransaction()) return;
    try {
      dal_.RollbackTrans();
    } catch (...) {  // the failure that ended the import is the one to report
    }
  }
  void commit() { dal_.CommitTrans(); }
  ImportTransaction(const ImportTransaction&) = delete;
  ImportTransaction& operator=(const ImportTransaction&) = delete;

 private:
  CDataAccess& dal_;
};
