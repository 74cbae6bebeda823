// The file-open dialog: the filter as Qt reads it, and the real dialog matching package names
// whatever their case.
#include <QAbstractItemView>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QSet>

#include "GuiTestSupport.h"
#include "app/OpenDialog.h"

namespace {

TEST(OpenDialog, FilterTextsAndPatternsBecomeQtNameFilters) {
  EXPECT_EQ(QtNameFilters("*.zip, *.rar, *.vka|*.zip;*.rar;*.vka"),
            QStringList{"*.zip, *.rar, *.vka (*.zip *.rar *.vka)"});
  EXPECT_EQ(QtNameFilters("Text|*.txt|All|"), (QStringList{"Text (*.txt)", "All (*)"}));
}

TEST(OpenDialog, QtDialogShowsPackagesOfAnyCaseAndHidesTheRest) {
  vvtest::TempDir dir;
  for (const char* name : {"lower.zip", "UPPER.ZIP", "Mixed.Rar", "map.vka", "notes.txt"})
    vvtest::WriteFile(dir / name, "x");
  auto dialog = CreateQtOpenDialog({nullptr, "*.zip, *.rar, *.vka|*.zip;*.rar;*.vka", dir.path()});
  EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFile);
  EXPECT_TRUE(dialog->testOption(QFileDialog::HideNameFilterDetails));
  EXPECT_EQ(dialog->directory().absolutePath().toStdString(), dir.path());

  auto* model = dialog->findChild<QFileSystemModel*>();
  ASSERT_NE(model, nullptr);
  const QModelIndex root = model->index(QString::fromStdString(dir.path()));
  QSet<QString> shown;
  for (int tries = 0; tries < 100 && shown.size() < 4; ++tries) {
    guitest::Settle(20);
    shown.clear();
    for (int row = 0; row < model->rowCount(root); ++row) {
      const QModelIndex index = model->index(row, 0, root);
      // With "disable instead of hide" a filtered name would stay listed, greyed out.
      if (model->flags(index) & Qt::ItemIsEnabled) shown.insert(model->fileName(index));
    }
  }
  EXPECT_EQ(shown, (QSet<QString>{"lower.zip", "UPPER.ZIP", "Mixed.Rar", "map.vka"}));
}

}  // namespace
