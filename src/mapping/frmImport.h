#pragma once

class MappingModel;

// Shows the mapping form for model.intStep modally; returns once the form is
// unloaded (finish or cancel). Closing by the close box counts as cancel.
void showMappingDialog(MappingModel& model);
