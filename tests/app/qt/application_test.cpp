// The main window as the program wires it: the song list, the real SongListMenu and the four
// things its items do, against a music service on loopback.
#include "app/qt/application.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "app/main_window_events.h"
#include "app/qt/main_window.h"
#include "app/qt/qt_front_end.h"
#include "app/qt/tip_window.h"
#include "app/settings.h"
#include "service/song_address.h"
#include "service/song_download.h"
#include "service/song_search.h"
#include "tests/app/qt/gui_test_support.h"
#include "tests/support/loopback_server.h"
#include "tests/support/search_reply.h"
#include "tests/support/temp_dir.h"
#include "text/text_convert.h"

namespace ornivel {
namespace {

namespace fs = std::filesystem;
using test::PumpUntil;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A song-sized body: 2.7 MB of bytes that are not all alike.
std::string SongBytes() {
  std::string bytes(2'700'001, '\0');
  std::uint32_t state = 2463534242u;
  for (char& byte : bytes) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    byte = static_cast<char>(state & 0xFF);
  }
  return bytes;
}

// Runs `action`, which opens modal dialogs one after another and returns when the last has
// closed; `handlers` deal with them in order, each closing its dialog. A dialog still open after
// 20 seconds is closed and counted as a failure, so the test cannot hang.
void WithDialogs(const std::function<void()>& action,
                 std::vector<std::function<void(QWidget*)>> handlers) {
  std::size_t next = 0;
  QPointer<QWidget> seen;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  QTimer timer;
  timer.setInterval(10);
  QObject::connect(&timer, &QTimer::timeout, [&] {
    QWidget* dialog = QApplication::activeModalWidget();
    if (dialog == nullptr || !dialog->isVisible()) return;
    if (std::chrono::steady_clock::now() > until) {
      ADD_FAILURE() << "a dialog stayed open: " << dialog->objectName().toStdString();
      dialog->close();
      return;
    }
    if (dialog == seen || next >= handlers.size()) return;
    seen = dialog;
    handlers[next++](dialog);
  });
  timer.start();
  action();
  timer.stop();
  EXPECT_EQ(next, handlers.size()) << "fewer dialogs opened than expected";
}

// A left click on `widget` through the window system, as the user's would arrive.
void ClickThroughWindow(QWidget* widget) {
  QWidget* window = widget->window();
  QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                    widget->mapTo(window, widget->rect().center()));
}

// Picks `folder` in the folder browser as a user does: its parent folder opened, a click on it in
// the list, then the accept button. A name field cannot take every name (a line break), the
// list can.
void PickFolder(QFileDialog* browser, const fs::path& folder) {
  browser->setDirectory(QString::fromStdString(folder.parent_path().string()));
  auto* model = browser->findChild<QFileSystemModel*>();
  auto* view = browser->findChild<QListView*>(QStringLiteral("listView"));
  const QString path = QString::fromStdString(folder.string());
  auto* buttons = browser->findChild<QDialogButtonBox*>();
  QAbstractButton* accept = nullptr;
  for (QAbstractButton* button : buttons->buttons()) {
    if (buttons->buttonRole(button) == QDialogButtonBox::AcceptRole) accept = button;
  }
  // The browser lists and sorts a folder's contents as they arrive, so an item may move under
  // the pointer: click where the folder is now until it is the one picked.
  const bool picked = model != nullptr && view != nullptr && PumpUntil([&] {
                        const QRect item = view->visualRect(model->index(path));
                        if (!item.isValid() || !view->viewport()->rect().contains(item.center()))
                          return false;
                        QTest::mouseClick(browser->windowHandle(), Qt::LeftButton, {},
                                          view->viewport()->mapTo(browser, item.center()));
                        return browser->selectedFiles() == QStringList{path};
                      });
  if (!picked || accept == nullptr || !accept->isEnabled()) {
    ADD_FAILURE() << "the folder could not be picked: "
                  << browser->selectedFiles().join('|').toStdString();
    browser->close();
    return;
  }
  ClickThroughWindow(accept);
}

class SongListMenuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = test::FreshTestFolder("menu");
    fs::create_directories(dir_ / "program");
    fs::create_directories(dir_ / "save");
    paths_.programDirectory = (dir_ / "program").string();
    paths_.settingsFile = (dir_ / "program" / "yyst.ini").string();
    paths_.defaultSaveFolder = paths_.programDirectory;
    std::ofstream(paths_.settingsFile, std::ios::binary)
        << "[a]\r\na=" << (dir_ / "save").string() << "\r\n";

    song_ = SongBytes();
    server_.server().Get("/webmusic/st/getNewMuiseByRid", [this](const httplib::Request& request,
                                                                 httplib::Response& response) {
      response.set_content("<result><mp3dl>" + server_.host() + "</mp3dl><mp3path>songs/" +
                               request.get_param_value("rid") + ".mp3</mp3path></result>\n",
                           "text/xml");
    });
    // The file in pieces of uneven sizes, as a real server's writes arrive.
    server_.server().Get(R"(/resource/songs/(.+)\.mp3)", [this](const httplib::Request&,
                                                                httplib::Response& response) {
      response.set_content_provider(
          song_.size(), "audio/mpeg",
          [this](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            const std::size_t piece = std::min<std::size_t>({length, 1 + (offset * 7) % 70000});
            return sink.write(song_.data() + offset, piece);
          });
    });
    // The same file slowly (about four seconds), with an ETag, so that a download of it can be
    // interrupted and go on later.
    server_.server().Get(R"(/resource/slow/(.+)\.mp3)", [this](const httplib::Request&,
                                                               httplib::Response& response) {
      response.set_header("ETag", "\"slow-1\"");
      response.set_content_provider(
          song_.size(), "audio/mpeg",
          [this](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
            return sink.write(song_.data() + offset, std::min<std::size_t>(length, 16384));
          });
    });
    ::setenv("ORNIVEL_SERVICE_HOST", server_.host().c_str(), 1);

    ConnectMainWindow(window_, ui_, store_, paths_);
    (void)LoadSaveFolder(ui_, store_, paths_);
    list_ = window_.songList();
    // 500 songs, as a search fills the list; the third is the one the user works with.
    for (int row = 0; row < 500; ++row) {
      const int index = ui_.AppendRow();
      ui_.SetCellText(index, kColumnNumber, std::to_string(row + 1));
      ui_.SetCellText(index, kColumnTitle,
                      row == 2 ? Utf8ToGbk("告白气球") : "Song " + std::to_string(row));
      ui_.SetCellText(index, kColumnSinger, row == 2 ? Utf8ToGbk("周杰伦") : "Singer");
      ui_.SetCellText(index, kColumnAlbum, "Album");
      ui_.SetCellText(index, kColumnIdentifier, "MUSIC_" + std::to_string(1000 + row));
    }
    window_.show();
    QApplication::setActiveWindow(&window_);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
  }

  void TearDown() override {
    ui_.Close();
    ::unsetenv("ORNIVEL_SERVICE_HOST");
    fs::remove_all(dir_);
  }

  QPoint RowCentre(int row) const {
    const QRect cell = list_->visualRect(list_->model()->index(row, kColumnTitle));
    return list_->viewport()->mapTo(&window_, cell.center());
  }

  // Right-clicks row `row` and checks that SongListMenu pops up with its four items.
  QMenu* PopUpMenu(int row) {
    QTest::mouseClick(window_.windowHandle(), Qt::RightButton, {}, RowCentre(row));
    QMenu* menu = window_.songListMenu();
    if (!PumpUntil([&] { return menu->isVisible() && QTest::qWaitForWindowExposed(menu); })) {
      return nullptr;
    }
    return menu;
  }

  // Pops the menu up over row `row` and clicks its item `item` (0-based).
  void Choose(int row, int item) {
    QMenu* menu = PopUpMenu(row);
    ASSERT_NE(menu, nullptr) << "SongListMenu did not pop up";
    const QList<QAction*> actions = menu->actions();
    ASSERT_EQ(actions.size(), 4);
    QTest::mouseClick(menu->windowHandle(), Qt::LeftButton, {},
                      menu->actionGeometry(actions[item]).center());
  }

  std::string SavedName() const {
    return GbkToUtf8(
        TargetFileName((dir_ / "save").string(), Utf8ToGbk("周杰伦"), Utf8ToGbk("告白气球")));
  }

  fs::path dir_;
  ProgramPaths paths_;
  test::LoopbackServer server_;
  std::string song_;
  MainWindow window_;
  QtFrontEnd ui_{&window_};
  SaveFolderStore store_;
  SongTable* list_ = nullptr;
};

TEST_F(SongListMenuTest, EachItemDoesWhatItSaysThroughTheRealWindow) {
  const std::string address = "http://" + server_.host() + "/resource/songs/MUSIC_1002.mp3";
  EXPECT_EQ(window_.saveFolderBox()->text().toStdString(), (dir_ / "save").string());

  // A left click on the third row looks its address up.
  QTest::mouseClick(window_.windowHandle(), Qt::LeftButton, {}, RowCentre(2));
  ASSERT_TRUE(PumpUntil([&] { return ui_.GetCellText(2, kColumnAddress) == address; }))
      << ui_.GetCellText(2, kColumnAddress);

  // "复制歌曲地址": the address is on the clipboard.
  QGuiApplication::clipboard()->setText(QStringLiteral("something else"));
  {
    QMenu* menu = PopUpMenu(2);
    ASSERT_NE(menu, nullptr);
    const char* texts[] = {"复制歌曲地址", "下载此歌曲", "更改保存目录", "实现小目标"};
    for (int item = 0; item < 4; ++item) {
      EXPECT_EQ(menu->actions()[item]->text(), QString::fromUtf8(texts[item]));
      EXPECT_TRUE(menu->actions()[item]->isEnabled());
    }
    QTest::mouseClick(menu->windowHandle(), Qt::LeftButton, {},
                      menu->actionGeometry(menu->actions()[0]).center());
  }
  EXPECT_FALSE(window_.songListMenu()->isVisible());
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), address);

  // "下载此歌曲": the song is saved under the singer's and the title's name, byte for byte.
  Choose(2, 1);
  ASSERT_TRUE(PumpUntil([&] { return ui_.GetCellText(2, kColumnAddress) == DownloadedStatus(); },
                        std::chrono::seconds(60)))
      << GbkToUtf8(ui_.GetCellText(2, kColumnAddress));
  ASSERT_TRUE(fs::exists(SavedName()));
  EXPECT_TRUE(ReadAll(SavedName()) == song_) << "the saved bytes differ";

  // Again: the file is there, so the worker asks; No leaves the folder as it was.
  ui_.SetCellText(2, kColumnAddress, address);
  Choose(2, 1);
  QMessageBox* question = nullptr;
  ASSERT_TRUE(PumpUntil([&] { return (question = test::FindQuestion()) != nullptr; }));
  EXPECT_EQ(question->text().toStdString(), GbkToUtf8(FileExistsQuestion()));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(question));
  ClickThroughWindow(question->button(QMessageBox::No));
  ASSERT_TRUE(PumpUntil([] { return test::FindQuestion() == nullptr; }));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "save"), fs::directory_iterator()), 1);

  // "更改保存目录": the folder browser, over the main window only; a folder whose name ends in a
  // space is shown, kept and read back whole.
  const fs::path chosen = dir_ / "新的 歌曲 ";
  fs::create_directories(chosen);
  WithDialogs([&] { Choose(2, 2); }, {[&](QWidget* dialog) {
                auto* browser = qobject_cast<QFileDialog*>(dialog);
                ASSERT_NE(browser, nullptr);
                EXPECT_EQ(browser->windowTitle(), QString::fromUtf8("请选择要保存的文件夹"));
                EXPECT_EQ(browser->windowModality(), Qt::WindowModal);
                PickFolder(browser, chosen);
              }});
  EXPECT_EQ(window_.saveFolderBox()->text().toStdString(), chosen.string());
  EXPECT_EQ(GbkToUtf8(store_.Get()), chosen.string());
  EXPECT_EQ(GbkToUtf8(ReadSaveFolderSetting(paths_.settingsFile, "")), chosen.string());
  const std::string settings = ReadAll(paths_.settingsFile);

  // A folder with a line break in its name: refused with a message box, nothing changes.
  const fs::path broken = dir_ / "two\nlines";
  fs::create_directories(broken);
  QString title, text;
  WithDialogs([&] { Choose(2, 2); }, {[&](QWidget* dialog) {
                                        auto* browser = qobject_cast<QFileDialog*>(dialog);
                                        ASSERT_NE(browser, nullptr);
                                        PickFolder(browser, broken);
                                      },
                                      [&](QWidget* dialog) {
                                        auto* box = qobject_cast<QMessageBox*>(dialog);
                                        ASSERT_NE(box, nullptr);
                                        title = box->windowTitle();
                                        text = box->text();
                                        box->accept();
                                      }});
  EXPECT_EQ(title, QString::fromUtf8("信息："));
  EXPECT_EQ(text.toStdString(), GbkToUtf8(LineBreakInFolderMessage()));
  EXPECT_EQ(window_.saveFolderBox()->text().toStdString(), chosen.string());
  EXPECT_EQ(ReadAll(paths_.settingsFile), settings);

  // "实现小目标": the tip dialog, over the main window.
  QString tipTitle;
  WithDialogs([&] { Choose(2, 3); }, {[&](QWidget* dialog) {
                EXPECT_NE(qobject_cast<TipWindow*>(dialog), nullptr);
                EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
                tipTitle = dialog->windowTitle();
                QTest::keyClick(dialog, Qt::Key_Escape);
              }});
  EXPECT_EQ(tipTitle, QString::fromUtf8("   微信扫一扫，打赏作者"));
  EXPECT_TRUE(window_.isVisible());
}

// What a message box of the window showed: its title, text and icon.
struct ShownBox {
  QString title;
  std::string text;  // UTF-8
  QMessageBox::Icon icon = QMessageBox::NoIcon;
};

std::function<void(QWidget*)> ReadBox(ShownBox& shown) {
  return [&shown](QWidget* dialog) {
    auto* box = qobject_cast<QMessageBox*>(dialog);
    ASSERT_NE(box, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(box));
    shown = {box->windowTitle(), box->text().toStdString(), box->icon()};
    ClickThroughWindow(box->button(QMessageBox::Ok));
  };
}

// The front end made again over `paths`, as at the program's next start: the created event
// has run and the window is shown; Shown() is the test's to call.
struct NextStart {
  explicit NextStart(const ProgramPaths& paths) : events(ui, store, paths) {
    events.Created();
    window.show();
  }
  ~NextStart() { ui.Close(); }

  MainWindow window;
  QtFrontEnd ui{&window};
  SaveFolderStore store;
  MainWindowEvents events;
};

TEST_F(SongListMenuTest, AFolderTheSettingsFileCannotKeepIsRefusedAndTheNextStartHasTheOldOne) {
  const std::string before = ReadAll(paths_.settingsFile);
  fs::permissions(paths_.settingsFile, fs::perms::owner_read | fs::perms::group_read);
  const fs::path chosen = dir_ / "chosen";
  fs::create_directories(chosen);
  ShownBox shown;
  WithDialogs([&] { Choose(2, 2); }, {[&](QWidget* dialog) {
                                        auto* browser = qobject_cast<QFileDialog*>(dialog);
                                        ASSERT_NE(browser, nullptr);
                                        PickFolder(browser, chosen);
                                      },
                                      ReadBox(shown)});
  EXPECT_EQ(shown.title, QString::fromUtf8("信息："));
  EXPECT_EQ(shown.text, "设置文件无法写入：没有权限。保存目录未更改。");
  EXPECT_EQ(shown.icon, QMessageBox::Critical);
  EXPECT_EQ(window_.saveFolderBox()->text().toStdString(), (dir_ / "save").string());
  EXPECT_EQ(GbkToUtf8(store_.Get()), (dir_ / "save").string());
  EXPECT_EQ(ReadAll(paths_.settingsFile), before);

  // The front end made again, as at the next start: the folder the box showed.
  NextStart next(paths_);
  WithDialogs([&] { next.events.Shown(); }, {});  // nothing to tell
  EXPECT_EQ(next.window.saveFolderBox()->text().toStdString(), (dir_ / "save").string());
}

TEST_F(SongListMenuTest, AStartWithAGoneFolderOrAnUnreadableFileTellsOverTheShownWindow) {
  const fs::path gone = dir_ / "gone";
  std::ofstream(paths_.settingsFile, std::ios::binary) << "[a]\r\na=" << gone.string() << "\r\n";
  for (const bool unreadable : {false, true}) {
    SCOPED_TRACE(unreadable);
    if (unreadable) {
      fs::remove(paths_.settingsFile);
      fs::create_directory(paths_.settingsFile);  // no file that can be read
    }
    NextStart next(paths_);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&next.window));
    ShownBox shown;
    WithDialogs([&] { next.events.Shown(); }, {ReadBox(shown)});
    EXPECT_EQ(shown.title, QString::fromUtf8("信息："));
    if (unreadable) {
      EXPECT_EQ(shown.text, "设置文件无法读取（不是普通文件）：" + paths_.settingsFile +
                                "。本次使用默认的保存目录。");
      EXPECT_EQ(shown.icon, QMessageBox::Critical);
      EXPECT_EQ(next.window.saveFolderBox()->text().toStdString(), paths_.defaultSaveFolder);
    } else {
      EXPECT_EQ(shown.text, "保存目录不存在：" + gone.string());
      EXPECT_EQ(shown.icon, QMessageBox::Information);
      EXPECT_EQ(next.window.saveFolderBox()->text().toStdString(), gone.string());  // still shown
    }
    WithDialogs([&] { next.events.Shown(); }, {});  // each once
  }
}

TEST_F(SongListMenuTest, ADownloadIntoAFolderThatWentSaysSoInItsRow) {
  const std::string address = "http://" + server_.host() + "/resource/songs/MUSIC_1002.mp3";
  ui_.SetCellText(2, kColumnAddress, address);
  fs::remove_all(dir_ / "save");  // after the start: the box still shows it
  Choose(2, 1);
  const QModelIndex status = list_->model()->index(2, kColumnAddress);
  ASSERT_TRUE(PumpUntil([&] {
    return list_->model()->data(status).toString() == QString::fromUtf8("下载失败：保存目录不存在");
  })) << list_->model()->data(status).toString().toStdString();
  EXPECT_FALSE(fs::exists(dir_ / "save"));
}

TEST_F(SongListMenuTest, AReplyOfMoreRecordsThanTheBoundFillsTheBoundAndSaysSoOnce) {
  server_.server().Get(
      "/webmusic/getsjplayinfo", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(test::OneLineSearchReply(kMostSongRecords + 1000), "text/plain");
      });
  window_.searchBox()->setText(QString::fromUtf8("晴天"));
  ShownBox shown;
  WithDialogs([&] { ClickThroughWindow(window_.searchButton()); }, {ReadBox(shown)});
  EXPECT_EQ(shown.text, "找到的歌曲太多，只列出了前 5000 首");
  EXPECT_EQ(shown.icon, QMessageBox::Information);
  ASSERT_EQ(list_->model()->rowCount(), kMostSongRecords);
  EXPECT_EQ(list_->model()
                ->data(list_->model()->index(kMostSongRecords - 1, kColumnNumber))
                .toString()
                .toStdString(),
            std::to_string(kMostSongRecords));
}

TEST_F(SongListMenuTest, TheMenuKeyAndShiftF10OpenTheMenuAtTheRowAndEnterLooksItUp) {
  list_->setFocus();
  ASSERT_TRUE(PumpUntil([&] { return list_->hasFocus(); }));
  QMenu* menu = window_.songListMenu();
  // The place the menu takes: beside the row, which is scrolled into view first.
  const auto rowPlace = [&](int row) {
    const QRect cell = list_->visualRect(list_->model()->index(row, kColumnNumber));
    return list_->viewport()->mapToGlobal(QPoint(cell.left(), cell.center().y()));
  };
  list_->selectRow(400);  // of 500, far below what the list shows
  list_->scrollToTop();
  for (const auto& [key, modifiers] : std::vector<std::pair<Qt::Key, Qt::KeyboardModifiers>>{
           {Qt::Key_Menu, Qt::NoModifier}, {Qt::Key_F10, Qt::ShiftModifier}}) {
    SCOPED_TRACE(key);
    QTest::keyClick(list_, key, modifiers);
    ASSERT_TRUE(PumpUntil([&] { return menu->isVisible() && QTest::qWaitForWindowExposed(menu); }));
    EXPECT_EQ(menu->actions().size(), 4);
    EXPECT_TRUE(list_->viewport()->rect().contains(
        list_->visualRect(list_->model()->index(400, kColumnNumber)).center()));
    EXPECT_EQ(menu->geometry().topLeft(), rowPlace(400));
    QTest::keyClick(menu, Qt::Key_Escape);
    ASSERT_TRUE(PumpUntil([&] { return !menu->isVisible(); }));
  }
  // No row selected: at the list's top left.
  list_->clearSelection();
  QTest::keyClick(list_, Qt::Key_Menu);
  ASSERT_TRUE(PumpUntil([&] { return menu->isVisible() && QTest::qWaitForWindowExposed(menu); }));
  EXPECT_EQ(menu->geometry().topLeft(), list_->viewport()->mapToGlobal(QPoint(0, 0)));
  QTest::keyClick(menu, Qt::Key_Escape);
  ASSERT_TRUE(PumpUntil([&] { return !menu->isVisible(); }));

  // Enter with no row selected does nothing; on row 3 it looks the address up, as a click does.
  QTest::keyClick(list_, Qt::Key_Return);
  QTest::qWait(300);
  for (int row = 0; row < 5; ++row) EXPECT_EQ(ui_.GetCellText(row, kColumnAddress), "");
  list_->selectRow(2);
  QTest::keyClick(list_, Qt::Key_Return);
  const std::string address = "http://" + server_.host() + "/resource/songs/MUSIC_1002.mp3";
  ASSERT_TRUE(PumpUntil([&] { return ui_.GetCellText(2, kColumnAddress) == address; }))
      << ui_.GetCellText(2, kColumnAddress);
  // The keypad's Enter, which comes with the keypad's modifier, is Enter as well.
  list_->selectRow(3);
  QTest::keyClick(list_, Qt::Key_Enter, Qt::KeypadModifier);
  ASSERT_TRUE(PumpUntil([&] {
    return ui_.GetCellText(3, kColumnAddress) ==
           "http://" + server_.host() + "/resource/songs/MUSIC_1003.mp3";
  })) << ui_.GetCellText(3, kColumnAddress);
  list_->selectRow(2);
  // From the keyboard alone: the menu, Down to its first item, Enter copies the address.
  QGuiApplication::clipboard()->setText(QStringLiteral("something else"));
  QTest::keyClick(list_, Qt::Key_F10, Qt::ShiftModifier);
  ASSERT_TRUE(PumpUntil([&] { return menu->isVisible() && QTest::qWaitForWindowExposed(menu); }));
  QTest::keyClick(menu, Qt::Key_Down);
  QTest::keyClick(menu, Qt::Key_Return);
  ASSERT_TRUE(PumpUntil([&] { return !menu->isVisible(); }));
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), address);
}

TEST_F(SongListMenuTest, EachBoxIsNamedByTheCaptionBesideIt) {
  const auto name = &test::AccessibleName;
  EXPECT_EQ(name(window_.searchBox()), "输入歌曲/歌手：");
  EXPECT_EQ(name(window_.saveFolderBox()), "下载保存目录：");
  EXPECT_EQ(name(window_.searchButton()), "搜索");
  QAccessibleInterface* table = QAccessible::queryAccessibleInterface(list_);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->role(), QAccessible::Table);
  // The column headers, as a reader lists them: the table's children of that role (the table
  // keeps them, so they are asked for through it).
  std::vector<std::string> headers;
  for (int child = 0; child < table->childCount(); ++child) {
    QAccessibleInterface* cell = table->child(child);
    if (cell != nullptr && cell->role() == QAccessible::ColumnHeader) {
      headers.push_back(cell->text(QAccessible::Name).toStdString());
    }
  }
  // The hidden identifier column keeps its header, as an ordinary column.
  EXPECT_EQ(headers, (std::vector<std::string>{"id", "歌曲名称", "歌手", "专辑", "rid",
                                               "点击歌曲获取地址"}));
}

TEST_F(SongListMenuTest, ClosingWhileADownloadRunsAsksFirstAndYesKeepsThePartForLater) {
  ui_.SetCellText(2, kColumnAddress, "http://" + server_.host() + "/resource/slow/MUSIC_1002.mp3");
  Choose(2, 1);
  // On its way: a share shown in the row.
  ASSERT_TRUE(PumpUntil([&] {
    return ui_.GetCellText(2, kColumnAddress).rfind(DownloadingStatus() + " ", 0) == 0;
  })) << GbkToUtf8(ui_.GetCellText(2, kColumnAddress));

  // Esc asks; No keeps the window and the download.
  const auto answer = [&](QMessageBox::StandardButton button, QString* text) {
    return [button, text](QWidget* dialog) {
      auto* box = qobject_cast<QMessageBox*>(dialog);
      ASSERT_NE(box, nullptr);
      *text = box->text();
      ASSERT_TRUE(QTest::qWaitForWindowExposed(box));
      ClickThroughWindow(box->button(button));
    };
  };
  QString asked;
  WithDialogs([&] { QTest::keyClick(&window_, Qt::Key_Escape); },
              {answer(QMessageBox::No, &asked)});
  EXPECT_EQ(asked.toStdString(), GbkToUtf8(QuitWhileDownloadingQuestion()));
  EXPECT_TRUE(window_.isVisible());
  EXPECT_EQ(RunningDownloads(), 1);

  // The close box asks the same; Yes closes the window and the download stops, keeping what
  // arrived and its record for the next try.
  asked.clear();
  WithDialogs([&] { window_.close(); }, {answer(QMessageBox::Yes, &asked)});
  EXPECT_EQ(asked.toStdString(), GbkToUtf8(QuitWhileDownloadingQuestion()));
  EXPECT_FALSE(window_.isVisible());
  ui_.Close();  // as the program does once its window has gone
  FinishStoppedDownloads();
  EXPECT_EQ(RunningDownloads(), 0);
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir_ / "save")) {
    names.insert(entry.path().filename().string());
  }
  EXPECT_EQ(names, (std::set<std::string>{"MUSIC_1002.1.part", "MUSIC_1002.1.part.resume"}));
  const auto kept = fs::file_size(dir_ / "save" / "MUSIC_1002.1.part");
  EXPECT_GT(kept, 0u);
  EXPECT_LT(kept, song_.size());
  EXPECT_TRUE(ReadAll(dir_ / "save" / "MUSIC_1002.1.part") == song_.substr(0, kept));
}

TEST_F(SongListMenuTest, WithNoDownloadTheWindowClosesWithoutAQuestion) {
  window_.close();
  EXPECT_FALSE(window_.isVisible());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

}  // namespace
}  // namespace ornivel
