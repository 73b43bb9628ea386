// The Qt chooser on the offscreen platform: what it shows for three candidates,
// how its list and buttons drive the chooser's logic, and a rendered picture
// (artifacts/chooser.png in the build tree) to look at.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRawFont>
#include <QTreeWidget>
#include <string>
#include <vector>

#include "certs/candidate_list.h"
#include "certs/chooser/chooser_model.h"
#include "certs/default_texts_test.h"
#include "platform/ui/qt/chooser_dialog.h"
#include "platform/ui/qt/qt_test_application.h"

namespace quorvel::certs {
namespace {

using platform::qt::ChooserDialog;

using platform::qt::testing::Application;

void AppendText(CandidateList& list, std::u16string_view text) {
  ASSERT_EQ(list.AppendText(text.data(), text.size()), kListOk);
}

class ChooserQtTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Application();
    const struct {
      std::u16string_view subject, issuer, notAfter, serial;
    } candidates[] = {
        {u"Zhang San", u"ZAZU", u"2049-12-31 23:59:59GMT", u"1001"},
        {u"张三丰", u"ZAZU", u"2049-12-31 23:59:59GMT", u"1003"},
        {u"Expired User", u"ZAZU", u"2016-01-01 00:00:00GMT", u"1006"},
    };
    const uint8_t issuer[] = {0x30, 0x00};
    for (const auto& candidate : candidates) {
      AppendText(list_, candidate.subject);
      AppendText(list_, candidate.issuer);
      AppendText(list_, candidate.notAfter);
      AppendText(list_, candidate.serial);
      ASSERT_EQ(list_.AppendBytes(issuer, sizeof issuer), kListOk);
    }
  }

  template <typename Widget>
  static Widget* Child(const QWidget& dialog, const char* name) {
    Widget* widget = dialog.findChild<Widget*>(QLatin1String(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }

  static std::vector<QString> Column(const QTreeWidget& list, int column) {
    std::vector<QString> texts;
    for (int row = 0; row < list.topLevelItemCount(); ++row) {
      texts.push_back(list.topLevelItem(row)->text(column));
    }
    return texts;
  }

  CandidateList list_;
};

TEST_F(ChooserQtTest, ShowsTheCandidatesWithTheDefaultTextsAndRendersChinese) {
  ChooserModel model({}, 3, &list_, testing::DefaultTexts());
  ChooserDialog dialog(model, nullptr);
  dialog.Centre();
  dialog.show();
  QApplication::processEvents();

  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("请选择您要用的证书"));
  EXPECT_EQ(Child<QLabel>(dialog, ChooserDialog::kPrompt)->text(),
            QStringLiteral("请在列表中选择证书"));
  EXPECT_EQ(Child<QPushButton>(dialog, ChooserDialog::kOk)->text(), QStringLiteral("确定"));
  EXPECT_TRUE(Child<QPushButton>(dialog, ChooserDialog::kOk)->isDefault());
  EXPECT_EQ(Child<QPushButton>(dialog, ChooserDialog::kCancel)->text(), QStringLiteral("取消"));
  EXPECT_EQ(Child<QPushButton>(dialog, ChooserDialog::kView)->text(), QStringLiteral("查看"));
  EXPECT_EQ(Child<QPlainTextEdit>(dialog, ChooserDialog::kInformation)->toPlainText(),
            QStringLiteral("Quorvel 2.0 signing control."));

  QTreeWidget* list = Child<QTreeWidget>(dialog, ChooserDialog::kList);
  ASSERT_NE(list, nullptr);
  const QTreeWidgetItem* heading = list->headerItem();
  const QString headings[] = {QStringLiteral("主题"), QStringLiteral("颁发者"),
                              QStringLiteral("截止日期")};
  for (int column = 0; column < 3; ++column) {
    EXPECT_EQ(heading->text(column), headings[column]);
    EXPECT_EQ(list->header()->sectionSize(column), 140);
    EXPECT_EQ(heading->textAlignment(column), Qt::AlignCenter);
  }
  ASSERT_EQ(list->topLevelItemCount(), 3);
  EXPECT_EQ(Column(*list, 0),
            (std::vector<QString>{QStringLiteral("Zhang San"), QStringLiteral("张三丰"),
                                  QStringLiteral("Expired User")}));
  EXPECT_EQ(list->topLevelItem(2)->text(2), QStringLiteral("2016-01-01 00:00:00GMT"));
  for (int row = 0; row < 3; ++row) EXPECT_FALSE(list->topLevelItem(row)->icon(0).isNull());
  EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
  EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);

  // The font of the list has glyphs for every character of the Chinese name.
  const QRawFont font = QRawFont::fromFont(list->font());
  for (const QChar c : QStringLiteral("张三丰主题颁发者截止日期确定取消查看")) {
    EXPECT_TRUE(font.supportsCharacter(c))
        << "no glyph for U+" << std::hex << static_cast<int>(c.unicode()) << " in "
        << font.familyName().toStdString();
  }

  const QString png = QStringLiteral(QUORVEL_RENDER_DIR "/chooser.png");
  EXPECT_TRUE(dialog.grab().save(png)) << png.toStdString();
}

TEST_F(ChooserQtTest, HeadingClicksSortAndOkReportsTheChosenCandidate) {
  ChooserModel model({}, 3, &list_, testing::DefaultTexts());
  ChooserDialog dialog(model, nullptr);
  dialog.show();
  QTreeWidget* list = Child<QTreeWidget>(dialog, ChooserDialog::kList);
  ASSERT_NE(list, nullptr);
  // Select 张三丰, then sort by end of validity, ascending and descending.
  list->setCurrentItem(list->topLevelItem(1));
  emit list->header()->sectionClicked(2);
  EXPECT_EQ(Column(*list, 0)[0], QStringLiteral("Expired User"));
  emit list->header()->sectionClicked(0);
  EXPECT_EQ(Column(*list, 0),
            (std::vector<QString>{QStringLiteral("张三丰"), QStringLiteral("Zhang San"),
                                  QStringLiteral("Expired User")}));
  // The selection followed its row.
  ASSERT_EQ(list->selectedItems().size(), 1);
  EXPECT_EQ(list->selectedItems().front()->text(0), QStringLiteral("张三丰"));
  Child<QPushButton>(dialog, ChooserDialog::kOk)->click();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(model.resultIndex(), 9);
}

TEST_F(ChooserQtTest, CancelAndTheCloseBoxChooseNothing) {
  ChooserModel model({}, 3, &list_, testing::DefaultTexts());
  {
    ChooserDialog dialog(model, nullptr);
    dialog.show();
    Child<QTreeWidget>(dialog, ChooserDialog::kList)
        ->setCurrentItem(Child<QTreeWidget>(dialog, ChooserDialog::kList)->topLevelItem(0));
    Child<QPushButton>(dialog, ChooserDialog::kCancel)->click();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
  }
  {
    ChooserDialog dialog(model, nullptr);
    dialog.show();
    dialog.close();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
  }
  EXPECT_EQ(model.resultIndex(), -1);
}

}  // namespace
}  // namespace quorvel::certs
