#include "app/qt/qt_translations.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <thread>

#include "app/qt/main_window.h"
#include "app/qt/qt_front_end.h"
#include "app/settings.h"
#include "tests/app/qt/gui_test_support.h"

namespace ornivel {
namespace {

using test::Shown;

// The texts of the buttons in a message box, as shown.
QStringList ButtonTexts(const QMessageBox* box) {
  QStringList texts;
  for (const QAbstractButton* button : box->buttons()) texts << Shown(button->text());
  return texts;
}

// Whether any of `texts` holds one of `words`.
bool HoldsAny(const QStringList& texts, const QStringList& words) {
  for (const QString& text : texts) {
    for (const QString& word : words) {
      if (text.contains(word, Qt::CaseInsensitive)) return true;
    }
  }
  return false;
}

// The texts Qt's own parts show, taken from the real dialogs of the front end and the real
// context menu of the search box.
struct QtTexts {
  QStringList messageButtons, questionButtons, browserTexts, contextMenu;
};

QtTexts CollectQtTexts(MainWindow& window, QtFrontEnd& ui) {
  QtTexts texts;
  QTimer::singleShot(0, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      texts.messageButtons = ButtonTexts(box);
      box->accept();
    }
  });
  ui.ShowMessage("\xC7\xEB", MessageIcon::kInformation);

  std::atomic<bool> answered{false};
  std::thread worker([&] {
    (void)ui.AskYesNo("\xCA\xC7\xB7\xF1");
    answered = true;
  });
  QMessageBox* question = nullptr;
  if (test::PumpUntil([&] { return (question = test::FindQuestion()) != nullptr; })) {
    texts.questionButtons = ButtonTexts(question);
    question->reject();
  }
  (void)test::PumpUntil([&] { return answered.load(); });
  worker.join();

  QTimer::singleShot(0, [&] {
    QWidget* dialog = QApplication::activeModalWidget();
    if (dialog == nullptr) return;
    for (const QLabel* label : dialog->findChildren<QLabel*>()) texts.browserTexts << label->text();
    for (const QPushButton* button : dialog->findChildren<QPushButton*>()) {
      texts.browserTexts << Shown(button->text());
    }
    dialog->close();
  });
  (void)ui.BrowseForFolder(ChooseFolderTitle());

  // A right click in the search box opens its context menu.
  QTimer::singleShot(0, [&] {
    if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
      for (const QAction* action : menu->actions()) {
        if (!action->isSeparator()) texts.contextMenu << Shown(action->text());
      }
      menu->close();
    }
  });
  const QWidget* box = window.searchBox();
  QTest::mouseClick(window.windowHandle(), Qt::RightButton, {},
                    box->mapTo(&window, box->rect().center()));
  return texts;
}

TEST(QtTranslationsTest, QtsOwnTextsAreChineseOnAChineseDesktop) {
  ASSERT_EQ(QLocale::system().language(), QLocale::Chinese) << "LANG=zh_CN.UTF-8 expected";
  MainWindow window;
  window.show();
  QApplication::setActiveWindow(&window);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  QtFrontEnd ui(&window);
  {
    QtTranslations translations;
    ASSERT_TRUE(translations.Load(QLocale::system()));
    const QtTexts texts = CollectQtTexts(window, ui);
    EXPECT_EQ(texts.messageButtons, QStringList{QString::fromUtf8("确定")});
    ASSERT_EQ(texts.questionButtons.size(), 2);
    EXPECT_TRUE(texts.questionButtons.contains(QString::fromUtf8("是(Y)")));
    EXPECT_TRUE(texts.questionButtons.contains(QString::fromUtf8("否(N)")));
    EXPECT_TRUE(texts.browserTexts.contains(QString::fromUtf8("查找范围：")));
    EXPECT_TRUE(texts.browserTexts.contains(QString::fromUtf8("目录：")));
    EXPECT_TRUE(texts.browserTexts.contains(QString::fromUtf8("选择(C)")));
    EXPECT_TRUE(texts.browserTexts.contains(QString::fromUtf8("取消")));
    EXPECT_FALSE(HoldsAny(texts.browserTexts, {"Look in", "Directory", "Choose", "Cancel"}))
        << texts.browserTexts.join('|').toStdString();
    EXPECT_TRUE(texts.contextMenu.contains(QString::fromUtf8("撤消(U)")));
    EXPECT_TRUE(texts.contextMenu.contains(QString::fromUtf8("剪切(T)")));
    EXPECT_TRUE(texts.contextMenu.contains(QString::fromUtf8("粘贴(P)")));
    EXPECT_FALSE(HoldsAny(texts.contextMenu, {"Undo", "Cut", "Paste", "Copy", "Select"}))
        << texts.contextMenu.join('|').toStdString();
  }
  // Without them, the same dialogs are English: the texts above came from the translations.
  const QtTexts english = CollectQtTexts(window, ui);
  EXPECT_EQ(english.messageButtons, QStringList{"OK"});
  EXPECT_TRUE(english.contextMenu.contains("Paste"));
  ui.Close();
}

TEST(QtTranslationsTest, ALanguageQtHasNoTextsForLoadsNothing) {
  QtTranslations translations;
  EXPECT_FALSE(translations.Load(QLocale(QLocale::Zulu, QLocale::SouthAfrica)));
  EXPECT_TRUE(translations.Load(QLocale(QLocale::Chinese, QLocale::China)));
}

}  // namespace
}  // namespace ornivel
