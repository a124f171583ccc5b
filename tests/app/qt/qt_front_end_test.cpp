#include "app/qt/qt_front_end.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "app/qt/tip_window.h"
#include "tests/app/qt/gui_test_support.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"
#include "text/text_convert.h"

namespace ornivel {
namespace {

using namespace std::chrono_literals;

using test::FindQuestion;
using test::PumpUntil;

class QtFrontEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = std::make_unique<MainWindow>();
    window_->show();
    frontEnd_ = std::make_unique<QtFrontEnd>(window_.get());
    ui_ = frontEnd_.get();
  }
  // Every test joins its workers before it ends, so the front end can go.
  void TearDown() override { ui_->Close(); }

  SaveFolderStore store_;
  std::unique_ptr<MainWindow> window_;
  std::unique_ptr<QtFrontEnd> frontEnd_;
  QtFrontEnd* ui_ = nullptr;
};

TEST_F(QtFrontEndTest, ListOperationsOnTheWindowThread) {
  EXPECT_EQ(ui_->SelectedRow(), -1);
  EXPECT_EQ(ui_->AppendRow(), 0);
  EXPECT_EQ(ui_->AppendRow(), 1);
  ui_->SetCellText(1, 4, "MUSIC_\xD6\xD0");
  EXPECT_EQ(ui_->GetCellText(1, 4), "MUSIC_\xD6\xD0");  // GBK in, GBK out
  EXPECT_EQ(window_->songList()->item(1, 4)->text(), QString::fromUtf8("MUSIC_中"));
  ui_->SetCellText(7, 1, "ignored");
  ui_->SetCellText(0, 9, "ignored");
  EXPECT_EQ(ui_->GetCellText(7, 1), "");
  EXPECT_EQ(ui_->GetCellText(0, -1), "");
  // The conditional write checks the key cell and writes in one step.
  EXPECT_TRUE(ui_->SetCellTextIfHolds(1, 5, "http://h/\xD6\xD0", 4, "MUSIC_\xD6\xD0"));
  EXPECT_EQ(window_->songList()->item(1, 5)->text(), QString::fromUtf8("http://h/中"));
  EXPECT_FALSE(ui_->SetCellTextIfHolds(1, 5, "other", 4, "MUSIC_OTHER"));
  EXPECT_FALSE(ui_->SetCellTextIfHolds(9, 5, "other", 4, ""));
  EXPECT_EQ(ui_->GetCellText(1, 5), "http://h/\xD6\xD0");
  window_->songList()->selectRow(1);
  EXPECT_EQ(ui_->SelectedRow(), 1);
  ui_->DeleteAllRows();
  EXPECT_EQ(ui_->SelectedRow(), -1);
  EXPECT_EQ(window_->songList()->rowCount(), 0);
  window_->searchBox()->setText(QString::fromUtf8("邓丽君"));
  EXPECT_EQ(ui_->SearchText(), "\xB5\xCB\xC0\xF6\xBE\xFD");
  ui_->ShowSaveFolder("/\xD2\xF4\xC0\xD6");
  EXPECT_EQ(window_->saveFolderBox()->text(), QString::fromUtf8("/音乐"));
}

TEST_F(QtFrontEndTest, WorkersReadAndWriteWhileTheWindowThreadRefillsTheList) {
  constexpr int kRows = 40;
  auto refill = [&](int round) {
    ui_->DeleteAllRows();
    for (int row = 0; row < kRows; ++row) {
      const int index = ui_->AppendRow();
      for (int column = 0; column < kColumnCount; ++column) {
        ui_->SetCellText(
            index, column,
            "r" + std::to_string(round) + "-" + std::to_string(row) + "-" + std::to_string(column));
      }
    }
  };
  refill(0);
  std::atomic<int> finished{0};
  std::atomic<int> torn{0};
  std::vector<std::thread> workers;
  for (int w = 0; w < 4; ++w) {
    workers.emplace_back([&, w] {
      for (int i = 0; i < 300; ++i) {
        const int row = (i * 7 + w) % kRows;
        const std::string text = ui_->GetCellText(row, 1);
        // Whole or empty, never half of one write and half of another.
        const bool whole = text.empty() || (text[0] == 'r' && text.size() >= 6 &&
                                            text.compare(text.size() - 2, 2, "-1") == 0);
        if (!whole) ++torn;
        ui_->SetCellText(row, 5, "w" + std::to_string(w));
        (void)ui_->SelectedRow();
      }
      ++finished;
    });
  }
  int round = 1;
  // The window thread keeps refilling the list and serving the workers; it never waits.
  const bool done = PumpUntil(
      [&] {
        refill(round++);
        return finished.load() == 4;
      },
      60s);
  for (auto& worker : workers) worker.join();
  EXPECT_TRUE(done) << "the workers did not finish: a hand-over deadlocked";
  EXPECT_EQ(torn.load(), 0);
  EXPECT_GT(round, 1);
}

TEST_F(QtFrontEndTest, AfterCloseWorkersGetEmptyResultsAtOnce) {
  ui_->AppendRow();
  ui_->SetCellText(0, 1, "x");
  std::atomic<bool> blocked{true};
  int row = 0;
  std::string text = "unset";
  std::thread worker([&] {
    // Waits for the window thread, which does not pump until Close() has run.
    text = ui_->GetCellText(0, 1);
    row = ui_->AppendRow();
    blocked = false;
  });
  // The worker's first hand-over is queued, and the window thread does not run it.
  ASSERT_TRUE(test::WaitUntil([&] { return ui_->WaitingHandOvers() == 1; }));
  ui_->Close();  // drops the queued hand-over: the worker wakes with an empty result
  worker.join();
  EXPECT_FALSE(blocked.load());
  EXPECT_EQ(text, "");
  EXPECT_EQ(row, -1);
  EXPECT_EQ(ui_->GetCellText(0, 1), "");  // on the window thread too
}

TEST_F(QtFrontEndTest, MessageBoxesHaveTheProgramsTitleAndIcons) {
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QString title, text;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    icon = box->icon();
    title = box->windowTitle();
    text = box->text();
    box->accept();
  });
  ui_->ShowMessage("\xC7\xEB", MessageIcon::kInformation);  // 请
  EXPECT_EQ(icon, QMessageBox::Information);
  EXPECT_EQ(title, QString::fromUtf8("信息："));
  EXPECT_EQ(text, QString::fromUtf8("请"));
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    icon = box->icon();
    box->accept();
  });
  ui_->ShowMessage("x", MessageIcon::kError);
  EXPECT_EQ(icon, QMessageBox::Critical);
}

TEST_F(QtFrontEndTest, WorkersQuestionLeavesTheWindowUsableAndWaitsForTheAnswer) {
  std::atomic<int> answer{-1};
  std::thread worker([&] { answer = ui_->AskYesNo("\xCA\xC7\xB7\xF1") ? 1 : 0; });  // 是否
  QMessageBox* box = nullptr;
  ASSERT_TRUE(PumpUntil([&] {
    box = FindQuestion();
    return box != nullptr && box->isVisible();
  }));
  EXPECT_EQ(box->parentWidget(), nullptr);  // it belongs to no window
  EXPECT_FALSE(box->testAttribute(Qt::WA_QuitOnClose));
  EXPECT_EQ(box->windowTitle(), QString::fromUtf8("信息："));
  EXPECT_EQ(box->text(), QString::fromUtf8("是否"));
  EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
  EXPECT_FALSE(box->isModal());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);  // the main window stays usable
  EXPECT_EQ(answer.load(), -1);                           // the worker waits
  // The window thread still serves list operations meanwhile.
  EXPECT_EQ(ui_->AppendRow(), 0);
  QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton);
  ASSERT_TRUE(PumpUntil([&] { return answer.load() != -1; }));
  worker.join();
  EXPECT_EQ(answer.load(), 1);
}

// The centre of `widget` in the coordinates of its top-level window, where a click lands.
QPoint CentreInWindow(const QWidget* widget) {
  return widget->mapTo(widget->window(), widget->rect().center());
}

TEST_F(QtFrontEndTest, NoDialogOfTheMainWindowBlocksAWorkersQuestion) {
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  // Each of these opens a dialog over the main window and returns when it has been closed.
  const std::vector<std::pair<const char*, std::function<void()>>> dialogs = {
      {"tip dialog", [&] { ShowTipWindow(window_.get()); }},
      {"folder browser", [&] { (void)ui_->BrowseForFolder(ChooseFolderTitle()); }},
      {"message box", [&] { ui_->ShowMessage("\xC7\xEB", MessageIcon::kInformation); }},
  };
  for (const auto& [name, open] : dialogs) {
    SCOPED_TRACE(name);
    std::atomic<int> answer{-1};
    std::thread worker;
    QSignalSpy searches(window_.get(), &MainWindow::searchClicked);
    QTimer::singleShot(0, [&] {
      QWidget* dialog = QApplication::activeModalWidget();
      ASSERT_NE(dialog, nullptr);
      ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
      EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
      // A download finds its file taken and asks, while the dialog is open.
      worker = std::thread([&] { answer = ui_->AskYesNo("\xCA\xC7\xB7\xF1") ? 1 : 0; });
      QMessageBox* question = nullptr;
      if (!PumpUntil([&] { return (question = FindQuestion()) != nullptr; }) ||
          !QTest::qWaitForWindowExposed(question)) {
        ADD_FAILURE() << "the question did not appear";
        QTest::keyClick(dialog, Qt::Key_Escape);
        return;
      }
      // A click on the main window does not get through the dialog...
      QTest::mouseClick(window_->windowHandle(), Qt::LeftButton, {},
                        CentreInWindow(window_->searchButton()));
      EXPECT_EQ(searches.count(), 0);
      // ...but one on the question's No does, and the worker has its answer.
      QTest::mouseClick(question->windowHandle(), Qt::LeftButton, {},
                        CentreInWindow(question->button(QMessageBox::No)));
      if (!PumpUntil([&] { return answer.load() != -1; })) {
        ADD_FAILURE() << "the question did not take the click";
        question->reject();  // so that the worker ends
      }
      QTest::keyClick(dialog, Qt::Key_Escape);
    });
    open();
    if (worker.joinable()) worker.join();
    EXPECT_EQ(answer.load(), 0);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    // With the dialog closed, the main window takes clicks again.
    QTest::mouseClick(window_->windowHandle(), Qt::LeftButton, {},
                      CentreInWindow(window_->searchButton()));
    EXPECT_EQ(searches.count(), 1);
  }
}

TEST_F(QtFrontEndTest, FolderBrowserTitleAndCancel) {
  QString title;
  QTimer::singleShot(0, [&] {
    auto* dialog = QApplication::activeModalWidget();
    ASSERT_NE(dialog, nullptr);
    title = dialog->windowTitle();
    QTest::keyClick(dialog, Qt::Key_Escape);
  });
  EXPECT_EQ(
      ui_->BrowseForFolder(
             "\xC7\xEB\xD1\xA1\xD4\xF1\xD2\xAA\xB1\xA3\xB4\xE6\xB5\xC4\xCE\xC4\xBC\xFE\xBC\xD0")
          .kind,
      FolderChoice::Kind::kNone);
  EXPECT_EQ(title, QString::fromUtf8("请选择要保存的文件夹"));
}

TEST_F(QtFrontEndTest, FolderBrowserChoiceComesBackInGbkOrAsNotInGbk) {
  const std::filesystem::path root = test::FreshTestFolder("browse");
  // "周杰伦" GBK holds; the "ö" of "Björk" it does not.
  const std::filesystem::path held = root / std::filesystem::path(u8"周杰伦");
  const std::filesystem::path notHeld = root / std::filesystem::path(u8"Björk");
  std::filesystem::create_directory(held);
  std::filesystem::create_directory(notHeld);
  for (const auto& folder : {held, notHeld}) {
    QTimer::singleShot(0, [&] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(dialog, nullptr);
      dialog->setDirectory(QString::fromStdString(root.string()));
      dialog->selectFile(QString::fromStdString(folder.string()));
      QMetaObject::invokeMethod(dialog, "accept");  // as the Choose button does
    });
    const FolderChoice choice = ui_->BrowseForFolder("t");
    if (folder == held) {
      EXPECT_EQ(choice.kind, FolderChoice::Kind::kFolder);
      EXPECT_EQ(choice.folder, Utf8ToGbk(held.string()));
    } else {
      EXPECT_EQ(choice.kind, FolderChoice::Kind::kNotInGbk);
      EXPECT_EQ(choice.folder, "");
    }
  }
}

}  // namespace
}  // namespace ornivel
