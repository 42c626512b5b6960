#include "mapping/frmImport.h"

#include "mapping/MappingModel.h"

void showMappingDialog(MappingModel& model) { model.cmdCancel_Click(); }
