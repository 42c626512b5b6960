#pragma once
#include "core/Interaction.h"

class MappingModel;

// Who pairs a mapping step by hand: the windows' form, the tests' script.
// Interactions that can show the form implement it beside Interaction; one
// that cannot (the command line, the quiet one) leaves the step unpaired, and
// the import counts it as cancelled.
class MappingDialog {
 public:
  virtual ~MappingDialog() = default;
  // Shows the form modally for the step in model.intStep and returns once the
  // person has finished or cancelled it. The caller treats a form still loaded
  // afterwards as cancelled.
  virtual void ShowMappingDialog(MappingModel& model) = 0;

  // The form ui shows, nullptr when it shows none.
  static MappingDialog* of(Interaction& ui) { return dynamic_cast<MappingDialog*>(&ui); }
};
