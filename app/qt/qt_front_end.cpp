#include "app/qt/qt_front_end.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QMessageBox>

#include "app/qt/layout_text.h"
#include "text/message_pump.h"
#include "text/text_convert.h"

namespace ornivel {
namespace {

std::atomic<std::thread::id> g_pumpThread;

const QString kMessageTitle = Text(layout::kMessageTitle);

}  // namespace

QString FromGbk(const std::string& text) {
  return QString::fromStdString(GbkToUtf8(text));
}

std::string ToGbk(const QString& text) {
  return Utf8ToGbk(text.toStdString());
}

void InstallQtMessagePump() {
  g_pumpThread = std::this_thread::get_id();
  SetMessagePump([] {
    if (std::this_thread::get_id() != g_pumpThread.load()) return;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
  });
}

QtFrontEnd::QtFrontEnd(MainWindow* window)
    : windowThread_(std::this_thread::get_id()), window_(window), context_(new QObject()) {}

void QtFrontEnd::Close() {
  std::map<std::uint64_t, std::function<void()>> waiting;
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
    waiting.swap(pending_);
  }
  // Workers still waiting for the window thread wake up with empty results.
  for (auto& [id, cancel] : waiting) cancel();
  window_ = nullptr;
  delete context_;
  context_ = nullptr;
}

std::size_t QtFrontEnd::WaitingHandOvers() {
  std::lock_guard lock(mutex_);
  return pending_.size();
}

bool QtFrontEnd::Post(std::function<void()> run, std::function<void()> cancel) {
  std::lock_guard lock(mutex_);
  if (closed_) return false;
  const std::uint64_t id = nextHandOver_++;
  pending_.emplace(id, std::move(cancel));
  QMetaObject::invokeMethod(
      context_,
      [this, id, run = std::move(run)] {
        {
          std::lock_guard guard(mutex_);
          if (pending_.erase(id) == 0) return;  // cancelled already
        }
        run();
      },
      Qt::QueuedConnection);
  return true;
}

namespace {

// A result handed from the window thread to a waiting worker, settled exactly once: by the
// hand-over, or with the `closed` value when it is cancelled (the window is gone).
template <typename R>
struct HandOver {
  explicit HandOver(R closedValue) : closed(std::move(closedValue)) {}

  std::promise<R> promise;
  std::atomic<bool> settled{false};
  const R closed;

  void Settle(R value) {
    if (!settled.exchange(true)) promise.set_value(std::move(value));
  }
  void SettleClosed() { Settle(closed); }
};

}  // namespace

template <typename R, typename Work>
R QtFrontEnd::AskWindow(Work work, R closed) {
  if (std::this_thread::get_id() == windowThread_) {
    return window_ == nullptr ? closed : work(*window_);
  }
  auto handOver = std::make_shared<HandOver<R>>(closed);
  std::future<R> future = handOver->promise.get_future();
  const bool posted = Post(
      [this, handOver, work]() mutable {
        if (window_ == nullptr) return handOver->SettleClosed();
        handOver->Settle(work(*window_));
      },
      [handOver] { handOver->SettleClosed(); });
  if (!posted) return closed;
  return future.get();
}

template <typename Work>
void QtFrontEnd::RunOnWindow(Work work) {
  (void)AskWindow<bool>(
      [work](MainWindow& w) mutable {
        work(w);
        return true;
      },
      false);
}

void QtFrontEnd::DeleteAllRows() {
  RunOnWindow([](MainWindow& w) { w.songList()->setRowCount(0); });
}

int QtFrontEnd::AppendRow() {
  return AskWindow<int>(
      [](MainWindow& w) {
        SongTable* table = w.songList();
        const int index = table->rowCount();
        table->insertRow(index);
        for (int column = 0; column < kColumnCount; ++column) {
          table->setItem(index, column, new QTableWidgetItem());
        }
        return index;
      },
      -1);
}

void QtFrontEnd::SetCellText(int row, int column, const std::string& text) {
  RunOnWindow([row, column, text](MainWindow& w) {
    if (QTableWidgetItem* item = w.songList()->item(row, column)) item->setText(FromGbk(text));
  });
}

std::string QtFrontEnd::GetCellText(int row, int column) {
  return AskWindow<std::string>(
      [row, column](MainWindow& w) {
        const QTableWidgetItem* item = w.songList()->item(row, column);
        return item != nullptr ? ToGbk(item->text()) : std::string();
      },
      std::string());
}

int QtFrontEnd::SelectedRow() {
  return AskWindow<int>(
      [](MainWindow& w) {
        const QModelIndexList rows = w.songList()->selectionModel()->selectedRows();
        return rows.isEmpty() ? -1 : rows.first().row();
      },
      -1);
}

bool QtFrontEnd::SetCellTextIfHolds(int row, int column, const std::string& text, int keyColumn,
                                    const std::string& key) {
  return AskWindow<bool>(
      [row, column, text, keyColumn, key](MainWindow& w) {
        SongTable* table = w.songList();
        const QTableWidgetItem* keyItem = table->item(row, keyColumn);
        QTableWidgetItem* item = table->item(row, column);
        if (keyItem == nullptr || item == nullptr || ToGbk(keyItem->text()) != key) return false;
        item->setText(FromGbk(text));
        return true;
      },
      false);
}

std::string QtFrontEnd::SearchText() {
  return AskWindow<std::string>([](MainWindow& w) { return ToGbk(w.searchBox()->text()); },
                                std::string());
}

void QtFrontEnd::ShowMessage(const std::string& text, MessageIcon icon) {
  RunOnWindow([text, icon](MainWindow& w) {
    const QMessageBox::Icon shown = icon == MessageIcon::kError         ? QMessageBox::Critical
                                    : icon == MessageIcon::kInformation ? QMessageBox::Information
                                                                        : QMessageBox::NoIcon;
    QMessageBox box(shown, kMessageTitle, FromGbk(text), QMessageBox::Ok, &w);
    // It blocks the main window, and nothing else: a worker's question stays answerable.
    box.setWindowModality(Qt::WindowModal);
    box.exec();
  });
}

namespace {

// A worker's question: a top-level box of its own, owned by no window, so that no dialog of the
// main window (the tip dialog, the folder browser, a message box) blocks it, and blocking
// nothing itself. It does not keep the program running once the main window has closed.
QMessageBox* MakeQuestionBox(const std::string& text) {
  auto* box = new QMessageBox(QMessageBox::NoIcon, kMessageTitle, FromGbk(text),
                              QMessageBox::Yes | QMessageBox::No, nullptr);
  box->setObjectName(QStringLiteral("WorkerQuestion"));
  box->setWindowModality(Qt::NonModal);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setAttribute(Qt::WA_QuitOnClose, false);
  return box;
}

}  // namespace

bool QtFrontEnd::AskYesNo(const std::string& text) {
  if (std::this_thread::get_id() == windowThread_) {
    if (window_ == nullptr) return false;
    QMessageBox* box = MakeQuestionBox(text);
    box->setAttribute(Qt::WA_DeleteOnClose, false);
    box->exec();
    const bool yes = box->clickedButton() == box->button(QMessageBox::Yes);
    delete box;
    return yes;
  }
  // The window thread shows the box without blocking the main window; this worker waits.
  auto handOver = std::make_shared<HandOver<bool>>(false);
  std::future<bool> answer = handOver->promise.get_future();
  const bool posted = Post(
      [this, handOver, text] {
        if (window_ == nullptr) return handOver->SettleClosed();
        QMessageBox* box = MakeQuestionBox(text);
        QObject::connect(box, &QMessageBox::finished, box, [box, handOver](int) {
          handOver->Settle(box->clickedButton() == box->button(QMessageBox::Yes));
        });
        // A box that goes without an answer (the program ending) answers No.
        QObject::connect(box, &QObject::destroyed, [handOver] { handOver->SettleClosed(); });
        box->show();
      },
      [handOver] { handOver->SettleClosed(); });
  return posted && answer.get();
}

void QtFrontEnd::SetClipboardText(const std::string& text) {
  RunOnWindow([text](MainWindow&) { QGuiApplication::clipboard()->setText(FromGbk(text)); });
}

void QtFrontEnd::StartWorker(std::function<void()> work) {
  std::thread(std::move(work)).detach();
}

void QtFrontEnd::ShowSaveFolder(const std::string& folder) {
  RunOnWindow([folder](MainWindow& w) { w.saveFolderBox()->setText(FromGbk(folder)); });
}

FolderChoice QtFrontEnd::BrowseForFolder(const std::string& title) {
  return AskWindow<FolderChoice>(
      [title](MainWindow& w) {
        QFileDialog dialog(&w, FromGbk(title), w.saveFolderBox()->text());
        dialog.setObjectName(QStringLiteral("FolderBrowser"));
        dialog.setFileMode(QFileDialog::Directory);
        // Folders only, and Qt's own dialog, whose name field takes a typed path.
        dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
        // It blocks the main window only: a worker's question stays answerable meanwhile.
        dialog.setWindowModality(Qt::WindowModal);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
          return FolderChoice::None();
        }
        return FolderChoice::FromUtf8Path(dialog.selectedFiles().first().toStdString());
      },
      FolderChoice::None());
}

}  // namespace ornivel
