#include "data/DemoData.h"

#include <QDateTime>
#include <QDomDocument>
#include <QHash>
#include <QStringList>
#include <QTimeZone>
#include <QVector>

#include <map>
#include <random>
#include <utility>
#include <vector>

#include "data/CDataAccess.h"
#include "core/MD5bas.h"

namespace DemoData {
namespace {

using Values = std::initializer_list<std::pair<const char*, QVariant>>;

struct CoursePlan {
  const char* name;
  const char* code;
  const char* description;
  int keySubject;            // index into the subjects made
  int otherSubject;          // a second subject the course serves, -1 for none
  const char* chapters[4];   // chapter topics
};

const CoursePlan kCourses[] = {
    {"数据结构", "DS", "计算机类专业核心基础课程，讲授常用数据结构及其算法。", 0, 1,
     {"线性表", "栈和队列", "树和二叉树", "图"}},
    {"操作系统", "OS", "讲授操作系统的基本原理、设计方法和实现技术。", 0, 2,
     {"进程管理", "内存管理", "文件系统", "设备管理"}},
    {"软件工程导论", "SE", "讲授软件开发的过程、方法与工具。", 1, -1,
     {"需求分析", "软件设计", "软件测试", "项目管理"}},
    {"计算机网络", "CN", "讲授计算机网络的体系结构和主要协议。", 2, 0,
     {"物理层与数据链路层", "网络层", "传输层", "应用层"}},
    {"数据库系统原理", "DB", "讲授数据库系统的基本概念、设计方法和实现技术。", 3, 0,
     {"关系模型", "SQL语言", "关系数据库设计", "事务与并发控制"}},
};

const char* const kChapterNumbers[] = {"第一章", "第二章", "第三章", "第四章"};
const char* const kSections[] = {"%1的基本概念", "%1的存储与实现", "%1的典型应用"};
const char* const kPoints[3][2] = {{"基本定义与术语", "主要性质"},
                                   {"存储结构", "基本算法及其复杂度"},
                                   {"应用实例", "综合分析"}};

struct ProblemType {
  const char* name;
  int basicType;
  bool group;
  int numChoices;
  int numSel;
  const char* defineChoices;
  int lowDeduct;
  int upDeduct;
  const char* help;
  double score;
};

// The partitions of the problem-type feature, Minimum 1..7 in this order.
const ProblemType kTypes[] = {
    {"单选题", 4, false, 4, 1, "ABCD", 0, 0, "从四个备选答案中选出一个正确答案。", 2},
    {"多选题", 5, false, 5, 0, "ABCDE", 100, 50, "从五个备选答案中选出两个或两个以上正确答案。", 3},
    {"判断题", 2, false, 0, 0, "", 0, 0, "判断下列说法是否正确，正确的打“√”，错误的打“×”。", 1},
    {"填空题", 3, false, 0, 0, "", 0, 0, "在横线上填写正确答案。", 2},
    {"问答题", 1, false, 0, 0, "", 0, 0, "简要回答下列问题。", 10},
    {"辨析题", 7, false, 0, 0, "", 0, 0, "判断正误并说明理由。", 5},
    {"案例分析题", 1, true, 0, 0, "", 0, 0, "阅读案例材料，回答后面的各个问题。", 8},
};
constexpr int kGroupType = 6;  // 案例分析题
constexpr int kGroupSize = 3;
constexpr int kProblemsPerGroup = 30;  // one group of three in every thirty problems

QString extDocument(const ProblemType& t) {
  QDomDocument doc;
  QDomElement root = doc.createElement(QStringLiteral("EXT"));
  doc.appendChild(root);
  auto add = [&](const char* name, const char* type, const QString& value) {
    QDomElement e = doc.createElement(QLatin1String(name));
    e.setAttribute(QStringLiteral("TYPE"), QLatin1String(type));
    e.appendChild(doc.createTextNode(value));
    root.appendChild(e);
  };
  auto flag = [](bool b) { return b ? QStringLiteral("true") : QStringLiteral("false"); };
  add("GROUP", "BOOL", flag(t.group));
  add("SERIAL", "BOOL", flag(t.group));
  add("RANDOM", "BOOL", flag(false));
  add("SHAREGROUP", "BOOL", flag(false));
  add("SEL", "INTEGER", QStringLiteral("0"));
  add("BASICTYPE", "INTEGER", QString::number(t.basicType));
  add("NUMCHOICES", "INTEGER", QString::number(t.numChoices));
  add("NUMSEL", "INTEGER", QString::number(t.numSel));
  add("DEFINECHOICES", "STRING", QString::fromUtf8(t.defineChoices));
  add("LOWDEDUCT", "INTEGER", QString::number(t.lowDeduct));
  add("UPDEDUCT", "INTEGER", QString::number(t.upDeduct));
  add("HELP", "STRING", QString::fromUtf8(t.help));
  return doc.toString(-1);
}

QString body(int type, const QString& topic, int n) {
  static const char* const texts[] = {
      "（第%2题）下列关于“%1”的叙述中，正确的是（ ）。\nA. 它只适用于一种存储方式\nB. "
      "它描述的是逻辑关系，与具体实现无关\nC. 它在任何情况下都不能为空\nD. 以上说法都不正确",
      "（第%2题）关于“%1”，下列说法中正确的有（ ）。\nA. 应明确其基本定义\nB. 应分析其时间复杂度\nC. "
      "应分析其空间复杂度\nD. 与具体应用场景无关\nE. 可以用多种方式实现",
      "（第%2题）“%1”中各基本操作的时间复杂度总是O(1)。（ ）",
      "（第%2题）在“%1”中，衡量算法效率的两个主要指标是________和________。",
      "（第%2题）请简述“%1”的主要内容，并举例说明其应用。",
      "（第%2题）“%1”的实现方式是唯一的。请判断正误并说明理由。",
      "（第%2题）根据案例材料，分析其中涉及的“%1”问题，并提出改进建议。",
  };
  return QString::fromUtf8(texts[type]).arg(topic).arg(n);
}

QString answer(int type) {
  static const char* const texts[] = {
      "B", "ABCE", "×", "时间复杂度；空间复杂度", "要点：（1）基本定义；（2）主要性质；（3）典型应用举例。",
      "错误。同一逻辑结构可以有多种实现方式，应根据具体需求选择。", "答案要点：指出问题所在，分析原因，给出改进措施。",
  };
  return QString::fromUtf8(texts[type]);
}

struct Content {
  int id;
  int parentIndex;  // -1 for a chapter
  QString name;
  int level;
};

struct FeatureIds {
  int id = 0;
  QVector<int> partitions;  // partition IDs
  QVector<int> values;      // the value a problem takes for each partition
};

class Writer {
 public:
  Writer(CDataAccess& dal, int problems) : dal_(dal), problems_(problems), rng_(20240901) {}

  Summary run() {
    // A bigger page cache keeps the index pages of a large course in memory.
    if (dal_.dialect() == Dialect::SQLite) dal_.ExecQuery(QStringLiteral("PRAGMA cache_size=-65536"));
    makeSubjects();
    makeFeatures();
    for (int c = 0; c < static_cast<int>(std::size(kCourses)); ++c)
      makeCourse(kCourses[c], c == 0 ? problems_ : SmallCourseProblems, c == 0);
    makePapers();
    makeUsers();
    return summary_;
  }

 private:
  // One writer per table and set of columns, so that its prepared insert is
  // reused. Each row is written at once and hands back its generated key,
  // unless the row brings its own.
  Bulk::Writer& target(const QString& table, Values values) {
    QStringList columns;
    for (const auto& value : values) columns << QLatin1String(value.first);
    const QString key = table + ':' + columns.join(',');
    auto found = targets_.find(key);
    if (found == targets_.end()) {
      QString first = firstColumns_.value(table);
      if (first.isEmpty()) first = firstColumns_[table] = dal_.ColumnsOf(table).value(0);
      const QString keyColumn = columns.contains(first, Qt::CaseInsensitive) ? QString() : first;
      found = targets_.emplace(key, dal_.InsertInto(table, columns, keyColumn, Bulk::ReadBack::AtOnce)).first;
    }
    return found->second;
  }

  // The generated first column of the new row.
  int insert(const QString& tableName, Values values) {
    Bulk::Row row;
    row.reserve(values.size());
    for (const auto& value : values) row.push_back(Bulk::Cell::fromVariant(value.second));
    return target(tableName, values).add(row);
  }

  QDateTime stamp(int minutes) { return base_.addSecs(60LL * minutes); }
  int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }

  void makeSubjects() {
    const char* const subjects[][2] = {
        {"计算机科学与技术", "培养计算机系统与软件方面的专业人才"},
        {"软件工程", "培养软件开发与项目管理方面的专业人才"},
        {"网络工程", "培养计算机网络规划、建设与管理方面的专业人才"},
        {"信息管理与信息系统", "培养信息系统分析、设计与管理方面的专业人才"},
    };
    for (const auto& s : subjects)
      subjects_ << insert(QStringLiteral("Subject"),
                          {{"name", QString::fromUtf8(s[0])}, {"description", QString::fromUtf8(s[1])}});
    // Every database has the subject -1. It is written last so that the
    // generated IDs of the others start at 1.
    const bool explicitIdentity = dal_.dialect() == Dialect::SQLServer;
    if (explicitIdentity) dal_.ExecQuery(QStringLiteral("SET IDENTITY_INSERT Subject ON"));
    insert(QStringLiteral("Subject"),
           {{"SubjectID", -1}, {"name", QStringLiteral("公共基础")}, {"description", QStringLiteral("各专业共用")}});
    if (explicitIdentity) dal_.ExecQuery(QStringLiteral("SET IDENTITY_INSERT Subject OFF"));
  }

  FeatureIds makeFeature(const QString& name, int number, int type, double minimum, double maximum,
                         const QString& description) {
    FeatureIds f;
    f.id = insert(QStringLiteral("Feature"), {{"name", name},
                                              {"FeatureNumber", number},
                                              {"type", type},
                                              {"minimum", minimum},
                                              {"maximum", maximum},
                                              {"valueincrement", 1.0},
                                              {"description", description}});
    return f;
  }

  void addPartition(FeatureIds& f, const QString& name, int minimum, int maximum, int number,
                    const QVariant& ext, const QString& description) {
    f.partitions << insert(QStringLiteral("FeaturePartition"), {{"FeatureID", f.id},
                                                                {"name", name},
                                                                {"Minimum", minimum},
                                                                {"Maximum", maximum},
                                                                {"FeaturePartitionNumber", number},
                                                                {"ExtProperties", ext},
                                                                {"description", description}});
    f.values << minimum;
  }

  void makeFeatures() {
    type_ = makeFeature(QStringLiteral("题型"), 1, 0, 1, std::size(kTypes), QStringLiteral("题目的类型"));
    for (int i = 0; i < static_cast<int>(std::size(kTypes)); ++i)
      addPartition(type_, QString::fromUtf8(kTypes[i].name), i + 1, i + 1, i + 1, extDocument(kTypes[i]),
                   QString::fromUtf8(kTypes[i].help));
    // A partition number names one partition system-wide, whatever its
    // feature, so each numbered feature takes a range of its own.
    difficulty_ = makeFeature(QStringLiteral("难度"), 2, 0, 1, 5, QStringLiteral("题目的难易程度"));
    const char* const levels[] = {"容易", "较易", "中等", "较难", "困难"};
    for (int i = 0; i < 5; ++i)
      addPartition(difficulty_, QString::fromUtf8(levels[i]), i + 1, i + 1, 101 + i, QVariant(), QString());
    cognition_ = makeFeature(QStringLiteral("认知层次"), 0, 0, 1, 4, QStringLiteral("教师自定义的认知层次"));
    const char* const cognition[] = {"识记", "理解", "应用", "分析"};
    for (int i = 0; i < 4; ++i)
      addPartition(cognition_, QString::fromUtf8(cognition[i]), i + 1, i + 1, 0, QVariant(), QString());
    time_ = makeFeature(QStringLiteral("答题时间"), 3, 1, 1, 30, QStringLiteral("预计答题时间（分钟）"));
    addPartition(time_, QStringLiteral("5分钟以内"), 1, 5, 301, QVariant(), QString());
    addPartition(time_, QStringLiteral("6至15分钟"), 6, 15, 302, QVariant(), QString());
    addPartition(time_, QStringLiteral("16至30分钟"), 16, 30, 303, QVariant(), QString());
  }

  void makeCourse(const CoursePlan& plan, int problems, bool big) {
    const int keySubject = subjects_.at(plan.keySubject);
    const int courseId = insert(QStringLiteral("Course"), {{"KeySubjectID", keySubject},
                                                           {"Name", QString::fromUtf8(plan.name)},
                                                           {"Description", QString::fromUtf8(plan.description)},
                                                           {"CourseCode", QString::fromUtf8(plan.code)},
                                                           {"Lastupdated", stamp(0)}});
    if (big) summary_.bigCourseId = courseId;
    ++summary_.courses;
    QVector<int> courseSubjects{keySubject};
    if (plan.otherSubject >= 0) courseSubjects << subjects_.at(plan.otherSubject);
    for (int s : courseSubjects)
      insert(QStringLiteral("CoursesSubjects"), {{"CourseID", courseId}, {"SubjectID", s}});

    const QVector<Content> contents = makeContents(plan, courseId);
    makeSyllabus(contents, courseSubjects);
    for (const FeatureIds* f : {&type_, &difficulty_, &cognition_, &time_})
      for (int p : f->partitions)
        insert(QStringLiteral("CoursesFeaturePartitions"), {{"CourseID", courseId},
                                                            {"FeaturePartitionID", p},
                                                            {"DefaultWeight", 1.0},
                                                            {"Lastupdated", stamp(1)}});
    makeProblems(plan, contents, keySubject, problems);
  }

  QVector<Content> makeContents(const CoursePlan& plan, int courseId) {
    QVector<Content> contents;
    auto add = [&](int parentIndex, const QString& name, int level) {
      const int parentId = parentIndex < 0 ? 0 : contents.at(parentIndex).id;
      const int id = insert(QStringLiteral("Content"), {{"CourseID", courseId},
                                                        {"PARENTCONTENTID", parentId},
                                                        {"LEVEL", level},
                                                        {"Name", name},
                                                        {"Description", name + QStringLiteral("的教学内容")},
                                                        {"Lastupdated", stamp(2)}});
      contents << Content{id, parentIndex, name, level};
      return static_cast<int>(contents.size()) - 1;
    };
    QString xml = QStringLiteral("<CONTENTHIERARCHY>");
    auto open = [&](int index) { xml += QStringLiteral("<CONTENT ID=\"%1\">").arg(contents.at(index).id); };
    for (int c = 0; c < 4; ++c) {
      const QString topic = QString::fromUtf8(plan.chapters[c]);
      const int chapter = add(-1, QString::fromUtf8(kChapterNumbers[c]) + ' ' + topic, 0);
      open(chapter);
      for (int s = 0; s < 3; ++s) {
        const QString number = QStringLiteral("%1.%2").arg(c + 1).arg(s + 1);
        const int section = add(chapter, number + ' ' + QString::fromUtf8(kSections[s]).arg(topic), 1);
        open(section);
        for (int p = 0; p < 2; ++p) {
          open(add(section, QStringLiteral("%1.%2 %3%4").arg(number).arg(p + 1).arg(topic,
                                                                                     QString::fromUtf8(kPoints[s][p])),
                   2));
          xml += QStringLiteral("</CONTENT>");
        }
        xml += QStringLiteral("</CONTENT>");
      }
      xml += QStringLiteral("</CONTENT>");
    }
    xml += QStringLiteral("</CONTENTHIERARCHY>");
    dal_.ExecQuery(QStringLiteral("update Course set ContentHierarchy=? where CourseID=") +
                                  QString::number(courseId),
                   QVariantList{xml});
    summary_.contents += static_cast<int>(contents.size());
    return contents;
  }

  void makeSyllabus(const QVector<Content>& contents, const QVector<int>& subjects) {
    const char* const requirements[] = {"理解", "掌握", "了解"};
    const double weights[] = {25.0, 8.0, 4.0};
    for (const Content& c : contents)
      for (int s : subjects)
        insert(QStringLiteral("Syllabus"), {{"ContentID", c.id},
                                            {"SubjectID", s},
                                            {"DefaultWeight", weights[c.level]},
                                            {"Requirement", QString::fromUtf8(requirements[c.level])},
                                            {"Lastupdated", stamp(3)}});
  }

  int randomType() {
    // Mostly single choice, as in a real bank.
    static const int weights[] = {35, 15, 15, 15, 10, 10};
    int r = pick(0, 99);
    for (int t = 0; t < 6; ++t) {
      if (r < weights[t]) return t;
      r -= weights[t];
    }
    return 0;
  }

  int makeProblem(const CoursePlan& plan, const Content& leaf, int leafSection, int keySubject, int type,
                  const QVariant& groupId) {
    const int n = ++sequence_[QLatin1String(plan.code)];
    const QDateTime when = stamp(n);
    const QVariant code = n % 50 == 0 ? QVariant() : QVariant(QStringLiteral("%1-%2").arg(QLatin1String(plan.code)).arg(n, 6, 10, QChar('0')));
    const int id = insert(QStringLiteral("Problem"), {{"ProblemGroupID", groupId},
                                                      {"ProblemCode", code},
                                                      {"Body", body(type, leaf.name, n)},
                                                      {"Answer", answer(type)},
                                                      {"Score", kTypes[type].score},
                                                      {"Lastupdated", when}});
    insert(QStringLiteral("ProblemsContents"), {{"ProblemID", id}, {"ContentID", leaf.id}, {"Lastupdated", when}});
    if (n % 10 == 0)
      insert(QStringLiteral("ProblemsContents"),
             {{"ProblemID", id}, {"ContentID", leafSection}, {"Lastupdated", when}});
    const int minutes = type >= 4 ? pick(6, 30) : pick(1, 5);
    const std::pair<const FeatureIds*, int> values[] = {{&type_, type_.values.at(type)},
                                                        {&difficulty_, difficulty_.values.at(pick(0, 4))},
                                                        {&cognition_, cognition_.values.at(pick(0, 3))},
                                                        {&time_, minutes}};
    for (const auto& [feature, value] : values)
      insert(QStringLiteral("ProblemsFeatures"), {{"ProblemID", id},
                                                  {"FeatureID", feature->id},
                                                  {"SubjectID", keySubject},
                                                  {"Value", value},
                                                  {"Lastupdated", when}});
    ++summary_.problems;
    return id;
  }

  void makeProblems(const CoursePlan& plan, const QVector<Content>& contents, int keySubject, int problems) {
    QVector<int> leaves;
    for (int i = 0; i < contents.size(); ++i)
      if (contents.at(i).level == 2) leaves << i;
    int made = 0;
    while (made < problems) {
      const Content& leaf = contents.at(leaves.at(made % leaves.size()));
      const int section = contents.at(leaf.parentIndex).id;
      if (made % kProblemsPerGroup == kProblemsPerGroup - kGroupSize && problems - made >= kGroupSize) {
        makeGroup(plan, leaf, section, keySubject);
        made += kGroupSize;
      } else {
        makeProblem(plan, leaf, section, keySubject, randomType(), 0);
        ++made;
      }
    }
  }

  void makeGroup(const CoursePlan& plan, const Content& leaf, int section, int keySubject) {
    const int groupId = insert(QStringLiteral("ProblemGroup"),
                               {{"Stem", QStringLiteral("案例材料：某单位在信息系统建设中遇到了与“%1”相关的问题，"
                                                        "请阅读材料后回答问题。")
                                             .arg(leaf.name)},
                                {"Lastupdated", stamp(4)}});
    QString xml = QStringLiteral("<PROBLEMHIERARCHY><GROUP ID=\"%1\">").arg(groupId);
    for (int i = 0; i < kGroupSize; ++i)
      xml += QStringLiteral("<PROBLEM ID=\"%1\"/>")
                 .arg(makeProblem(plan, leaf, section, keySubject, kGroupType, groupId));
    xml += QStringLiteral("</GROUP></PROBLEMHIERARCHY>");
    dal_.ExecQuery(QStringLiteral("update ProblemGroup set ProblemHierarchy=? where ProblemGroupID=") +
                                  QString::number(groupId),
                   QVariantList{xml});
    ++summary_.problemGroups;
  }

  void makePapers() {
    const int designId = insert(
        QStringLiteral("PaperDesign"),
        {{"SubjectID", subjects_.at(0)},
         {"Name", QStringLiteral("数据结构期末考试设计")},
         {"Definition", QStringLiteral("<PAPERDESIGN><PART TYPE=\"单选题\" COUNT=\"10\" SCORE=\"2\"/>"
                                       "<PART TYPE=\"判断题\" COUNT=\"10\" SCORE=\"1\"/>"
                                       "<PART TYPE=\"问答题\" COUNT=\"3\" SCORE=\"10\"/></PAPERDESIGN>")},
         {"Lastupdated", stamp(5)}});
    const char* const papers[] = {"数据结构期末考试（A卷）", "数据结构期末考试（B卷）"};
    for (int p = 0; p < 2; ++p) {
      const int paperId = insert(QStringLiteral("Paper"),
                                 {{"PaperDesignID", designId},
                                  {"Name", QString::fromUtf8(papers[p])},
                                  {"Body", QStringLiteral("<PAPER><TITLE>%1</TITLE></PAPER>").arg(QString::fromUtf8(papers[p]))},
                                  {"Lastupdated", stamp(6)}});
      for (int s = 1; s <= 6; ++s)
        insert(QStringLiteral("AnswerSheet"), {{"PaperID", paperId},
                                               {"StudentCode", QStringLiteral("202301%1%2").arg(p + 1).arg(s, 2, 10, QChar('0'))},
                                               {"Answers", QStringLiteral("1:B;2:√;3:时间复杂度；空间复杂度")},
                                               {"Score", static_cast<double>(pick(55, 98))},
                                               {"Lastupdated", stamp(7)}});
    }
  }

  int makeUser(const QString& name, const QString& password) {
    ++summary_.users;
    return insert(QStringLiteral("userinfo"), {{"Name", name}, {"password", MD5(name + ':' + password, 32)}});
  }

  void link(const char* tableName, const char* first, int a, const char* second, int b) {
    insert(QLatin1String(tableName), {{first, a}, {second, b}});
  }

  void makeUsers() {
    enum { AdminRole = 1, TeacherRole = 2, OfficeRole = 3, OfficeGroup = 1, TeacherGroup = 2 };
    const int admin = makeUser(QStringLiteral("admin"), QStringLiteral("admin"));
    const int teacher = makeUser(QStringLiteral("teacher"), QStringLiteral("teacher"));
    const int office = makeUser(QStringLiteral("jiaowu"), QStringLiteral("jiaowu"));
    const int dean = makeUser(QStringLiteral("dean"), QStringLiteral("dean"));
    const int chinese = makeUser(QStringLiteral("管理员"), QStringLiteral("密码"));
    for (int right : {1, 2, 35}) link("RolesRights", "roleid", AdminRole, "rightid", right);
    for (int right : {10, 11}) link("RolesRights", "roleid", TeacherRole, "rightid", right);
    for (int right : {20, 35}) link("RolesRights", "roleid", OfficeRole, "rightid", right);
    link("userrole", "userid", admin, "roleid", AdminRole);
    link("userrole", "userid", chinese, "roleid", AdminRole);
    link("userrole", "userid", teacher, "roleid", TeacherRole);
    link("grouprole", "groupid", OfficeGroup, "roleid", OfficeRole);
    link("grouprole", "groupid", TeacherGroup, "roleid", TeacherRole);
    link("groupuser", "groupid", OfficeGroup, "userid", office);
    link("groupuser", "groupid", TeacherGroup, "userid", teacher);
    link("UsersRights", "userid", dean, "rightid", 35);
    link("UsersRights", "userid", teacher, "rightid", 12);
  }

  CDataAccess& dal_;
  int problems_;
  std::mt19937 rng_;
  // UTC: local times would consult the time zone for every row.
  const QDateTime base_{QDate(2024, 9, 1), QTime(8, 0), Qt::UTC};
  std::map<QString, Bulk::Writer> targets_;
  QHash<QString, QString> firstColumns_;
  QHash<QString, int> sequence_;
  QVector<int> subjects_;
  FeatureIds type_, difficulty_, cognition_, time_;
  Summary summary_;
};

}  // namespace

Summary create(CDataAccess& dal, int problems) {
  Transaction transaction(dal);
  Summary summary;
  {
    Writer writer(dal, problems < 0 ? 0 : problems);
    summary = writer.run();
  }
  transaction.commit();
  return summary;
}

}  // namespace DemoData
