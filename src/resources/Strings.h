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

// Message box flags and answers, with the values the original program used.
namespace Vb {
constexpr int OKOnly = 0;
constexpr int OKCancel = 1;
constexpr int YesNoCancel = 3;
constexpr int YesNo = 4;
constexpr int Critical = 16;
constexpr int Question = 32;
constexpr int Exclamation = 48;
constexpr int Information = 64;
constexpr int DefaultButton2 = 256;
constexpr int DefaultButton3 = 512;

constexpr int ButtonsMask = 0x0F;
constexpr int IconMask = 0xF0;
constexpr int DefaultMask = 0xF00;

constexpr int OK = 1;
constexpr int Cancel = 2;
constexpr int Yes = 6;
constexpr int No = 7;
}  // namespace Vb
