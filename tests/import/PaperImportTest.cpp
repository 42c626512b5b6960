// Papers travel with their designs and answer sheets; nothing is matched
// against rows already there.
#include "import/ImportFixture.h"
#include "mapping/MappingModel.h"

class PaperImport : public ImportTest {
 protected:
  QString PaperFile(const QString& name, const QString& sheets) const {
    return WriteFile(name, {"insert into Subject values (1,'数学',NULL)",
                            "insert into PaperDesign values (5,1,'期末模版','<D/>',NULL),(6,1,'期中模版',NULL,NULL)",
                            "insert into Paper values (8,5,'期末A','<P/>',NULL),(9,6,'期中A',NULL,NULL),(10,55,'孤立',NULL,NULL)",
                            sheets.isEmpty() ? "select 1" : "insert into AnswerSheet values " + sheets});
  }
  void ScriptSubjects(CImport& importer, bool cancel = false) {
    ui->mappingSteps.push_back([&importer, cancel](MappingModel& form) {
      if (cancel) return form.cmdCancel_Click();
      importer.session().SubjectMap.add(1, 7);
      form.Unload();
    });
  }
  QString Rows(const QString& sql) const { return Scalar("select group_concat(r) from (" + sql + ") t").toString(); }
};

// Every reference points at the new rows, a second import makes a second
// copy; a paper whose design the file lacks is written without it, sheets of
// a paper the file lacks are left out, and both are counted.
TEST_F(PaperImport, EveryReferencePointsAtTheNewRowsAndASecondImportMakesASecondCopy) {
  env.exec("insert into PaperDesign (PaperDesignID) values (600)");
  env.exec("insert into Paper (PaperID) values (700)");
  const QString path = PaperFile("paper.mdb", "(8,'S001','A',90,NULL),(8,'S002','B',70,NULL),(9,'S001','C',80,NULL),"
                                              "(99,'S002',NULL,NULL,NULL)");
  for (int round = 1; round <= 2; ++round) {
    ScriptSubjects(import);
    progress.clear();
    ASSERT_TRUE(import.ImportPaperData(path).succeeded());
    EXPECT_EQ(progress.back(), std::make_pair(100, QStringLiteral("导入成功！")));
    EXPECT_EQ(import.SkippedRows(), (QMap<QString, int>{{"AnswerSheet", 1}, {"Paper", 1}}));
  }
  EXPECT_EQ(Rows("select PaperDesignID || ':' || SubjectID || ':' || Name as r from PaperDesign where PaperDesignID>600 "
                 "order by 1"), "601:7:期末模版,602:7:期中模版,603:7:期末模版,604:7:期中模版");
  EXPECT_EQ(Rows("select PaperID || ':' || coalesce(PaperDesignID, 0) || ':' || Name as r from Paper where PaperID>700 "
                 "order by 1"), "701:601:期末A,702:602:期中A,703:0:孤立,704:603:期末A,705:604:期中A,706:0:孤立");
  EXPECT_EQ(Rows("select PaperID || ':' || StudentCode || ':' || cast(Score as integer) as r from AnswerSheet "
                 "order by PaperID, StudentCode"), "701:S001:90,701:S002:70,702:S001:80,704:S001:90,704:S002:70,705:S001:80");
}

// Cancelled in the subject dialog or at any stage, up to the very last (no
// sheet rows left to copy), a paper import writes nothing.
TEST_F(PaperImport, CancelAtAnyStageWritesNothing) {
  const QString path = PaperFile("paper.mdb", QString());
  const QStringList before = Snapshot();
  for (const int bar : {-1, 0, 30, 60}) {
    SCOPED_TRACE(bar);
    auto cancel = std::make_shared<CancelFlag>();
    CImport cancelled(*ui, cancel);
    ScriptSubjects(cancelled, bar < 0);
    cancelled.ImportProgress = [&](qint16 n, const QString&) {
      if (n >= bar) cancel->request();
    };
    EXPECT_EQ(cancelled.ImportPaperData(path).status,
              bar < 0 ? TransferResult::Status::Declined : TransferResult::Status::Cancelled);
    EXPECT_EQ(Snapshot(), before);
    cancelled.session().releaseConnections();
  }
}
