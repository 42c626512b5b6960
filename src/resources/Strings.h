#pragma once
#include <QString>

// The program's string table: resource number to text. Every message that the
// original kept as a string resource is read from here, never written twice.
namespace Res {
QString str(int id);  // empty text for an unknown number

constexpr int AppTitle = 200;        // "Yarrow考试系统"
constexpr int ImportCaption = 203;   // "[课程导入]"
constexpr int TransferTitle = 301;   // "导入导出"
constexpr int TemplateFile = 110;    // "Template.mdb"
}  // namespace Res
