#pragma once
#include <QString>

class CDataAccess;

// A realistic Chinese system database for trying Corvina out and for tests and
// benchmarks of every part:
//
// - subjects 计算机科学与技术, 软件工程, 网络工程, 信息管理与信息系统, then the
//   subject -1 (公共基础) that every database has;
// - five courses, each with a three-level content tree (chapters, sections,
//   points) and its ContentHierarchy document, syllabus rows and subjects;
// - features: 题型 (FeatureNumber 1, type 0; partitions 单选题, 多选题, 判断题,
//   填空题, 问答题, 辨析题, 案例分析题 with their EXT documents, Minimum 1..7),
//   难度 (FeatureNumber 2, type 0, five levels), 认知层次 (FeatureNumber 0,
//   type 0, user-defined) and 答题时间 (FeatureNumber 3, type 1, minutes 1..30
//   in steps of 1); every course weights every partition;
// - problems with bodies, answers, scores, a content link each (every tenth a
//   second link to its section), a value for each of the four features, and
//   problem groups of 案例分析题 with their ProblemHierarchy documents; every
//   fiftieth problem has no ProblemCode;
// - a paper design, two papers and their answer sheets;
// - users admin/admin (right 35 through the role 管理员), teacher/teacher
//   (no right 35), jiaowu/jiaowu (right 35 only through the role of the group
//   教务处), dean/dean (right 35 granted directly) and 管理员/密码 (through the
//   role 管理员; its digest follows the double-byte rule).
//
// The scaled problem set is in the FIRST course, 数据结构 (CourseID 1 in a
// fresh database; BigCourseName and Summary::bigCourseId name it); the other
// four courses hold SmallCourseProblems problems each.
namespace DemoData {

constexpr int DefaultProblems = 240;
constexpr int SmallCourseProblems = 24;
inline const QString BigCourseName = QStringLiteral("数据结构");

struct Summary {
  int bigCourseId = 0;
  int courses = 0;
  int contents = 0;
  int problems = 0;
  int problemGroups = 0;
  int users = 0;
};

// Writes the demo rows into the empty system tables dal holds, in one
// transaction: all of them or, on failure, none (the error is raised again).
Summary create(CDataAccess& dal, int problems = DefaultProblems);

}  // namespace DemoData
