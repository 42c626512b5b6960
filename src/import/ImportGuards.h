#pragma once
#include "core/Interaction.h"

// What every course import and update holds while it writes.

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
