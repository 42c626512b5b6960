// Papers travel with their designs and answer sheets; nothing is matched
// against rows already there.
#include "import/ImportFixture.h"
#include "mapping/MappingModel.h"

class PaperImport : public ImportTest {
 protected:
  // Without answer sheets: nothing is written between the last stage and the end.
  QString WritePaperFile(bool sheets = true) {
    ExchangeFile f(env, QStringLiteral("paper%1.mdb").arg(sheets));
    f.exec(QStringLiteral("insert into Subject values (1,'数学',NULL)"));
    f.exec(QStringLiteral("insert into PaperDesign values (5,1,'期末模版','<D/>',NULL),(6,1,'期中模版',NULL,NULL)"));
    f.exec(QStringLiteral("insert into Paper values (8,5,'期末A','<P/>',NULL),(9,6,'期中A',NULL,NULL)"));
    if (sheets)
      f.exec(QStringLiteral("insert into AnswerSheet values (8,'S001','A',90,NULL),(8,'S002','B',70,NULL),"
                            "(9,'S001','C',80,NULL)"));
    return f.path();
  }
  void ScriptSubjects() {
    ui->mappingSteps.push_back([this](MappingModel& form) {
      EXPECT_EQ(form.intStep, 1);
      import.session().SubjectMap.add(1, 7);
      form.Unload();
    });
  }
  QString Rows(const QString& sql) const { return Scalar(QStringLiteral("select group_concat(r) from (") + sql + QStringLiteral(") t")).toString(); }
};

TEST_F(PaperImport, EveryReferencePointsAtTheNewRowsAndASecondImportMakesASecondCopy) {
  env.exec(QStringLiteral("insert into PaperDesign (PaperDesignID) values (600)"));
  env.exec(QStringLiteral("insert into Paper (PaperID) values (700)"));
  const QString path = WritePaperFile();

  for (int round = 1; round <= 2; ++round) {
    SCOPED_TRACE(round);
    ScriptSubjects();
    progress.clear();
    ASSERT_TRUE(import.ImportPaperData(path).succeeded());
    EXPECT_EQ(progress.back(), std::make_pair(100, QStringLiteral("导入成功！")));
  }
  EXPECT_TRUE(import.SkippedRows().isEmpty());
  EXPECT_EQ(Rows(QStringLiteral("select PaperDesignID || ':' || SubjectID || ':' || Name as r from PaperDesign "
                                "where PaperDesignID>600 order by 1")),
            QStringLiteral("601:7:期末模版,602:7:期中模版,603:7:期末模版,604:7:期中模版"));
  EXPECT_EQ(Rows(QStringLiteral("select PaperID || ':' || PaperDesignID || ':' || Name as r from Paper "
                                "where PaperID>700 order by 1")),
            QStringLiteral("701:601:期末A,702:602:期中A,703:603:期末A,704:604:期中A"));
  EXPECT_EQ(Rows(QStringLiteral("select PaperID || ':' || StudentCode || ':' || Score as r from AnswerSheet "
                                "order by PaperID, StudentCode")),
            // A whole score reads "90.0" from SQLite, "90" from PostgreSQL.
            QStringLiteral("701:S001:90.0,701:S002:70.0,702:S001:80.0,703:S001:90.0,703:S002:70.0,704:S001:80.0")
                .remove(TestEnv::onPostgres() ? QStringLiteral(".0") : QString()));
}

// Cancelled in the subject dialog or at any stage, up to the very last, a
// paper import writes nothing.
TEST_F(PaperImport, CancelAtAnyStageWritesNothing) {
  const QString path = WritePaperFile(false);
  const QStringList before = Snapshot();
  for (const int bar : {-1, 0, 30, 60}) {
    SCOPED_TRACE(bar);
    auto cancel = std::make_shared<CancelFlag>();
    CImport cancelled(*ui, cancel);
    ui->mappingSteps.push_back([&](MappingModel& form) {
      if (bar < 0) return form.cmdCancel_Click();
      cancelled.session().SubjectMap.add(1, 7);
      form.Unload();
    });
    cancelled.ImportProgress = [&](qint16 n, const QString&) {
      if (n >= bar) cancel->request();
    };
    EXPECT_EQ(cancelled.ImportPaperData(path).status,
              bar < 0 ? TransferResult::Status::Declined : TransferResult::Status::Cancelled);
    EXPECT_EQ(Snapshot(), before);
    cancelled.session().releaseConnections();
  }
}

TEST_F(PaperImport, SheetsOfAPaperTheFileLacksAreLeftOut) {
  {
    ExchangeFile f(env, QStringLiteral("paper2.mdb"));
    f.exec(QStringLiteral("insert into Paper values (8,55,'孤立',NULL,NULL)"));
    f.exec(QStringLiteral("insert into AnswerSheet values (8,'S1',NULL,NULL,NULL),(99,'S2',NULL,NULL,NULL)"));
  }
  ScriptSubjects();
  ASSERT_TRUE(import.ImportPaperData(env.path(QStringLiteral("paper2.mdb"))).succeeded());
  EXPECT_EQ(import.SkippedRows(), (QMap<QString, int>{{QStringLiteral("AnswerSheet"), 1}, {QStringLiteral("Paper"), 1}}));
  EXPECT_EQ(Count(QStringLiteral("select count(*) from AnswerSheet")), 1);
  EXPECT_TRUE(Scalar(QStringLiteral("select PaperDesignID from Paper where Name='孤立'")).isNull());
}
