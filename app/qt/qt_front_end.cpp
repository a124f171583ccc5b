#include "app/qt/qt_front_end.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QMessageBox>

#include "http/message_pump.h"
#include "text/text_convert.h"

namespace ornivel {
namespace {

std::atomic<std::thread::id> g_pumpThread;

const QString kMessageTitle = QString::fromUtf8("信息：");

}  // namespace

QString FromGbk(const std::string& text) { return QString::fromStdString(GbkToUtf8(text)); }

std::string ToGbk(const QString& text) { return Utf8ToGbk(text.toStdString()); }

void InstallQtMessagePump() {
  g_pumpThread = std::this_thread::get_id();
  SetMessagePump([] {
    if (std::this_thread::get_id() != g_pumpThread.load()) return;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
  });
}

QtFrontEnd::QtFrontEnd(MainWindow* window, SaveFolderStore& store)
    : windowThread_(std::this_thread::get_id()),
      window_(window),
      store_(store),
      context_(new QObject()) {}

void QtFrontEnd::Close() {
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
  }
  window_ = nullptr;
  // Deleting the context drops the hand-overs still queued for it: their workers wake up with
  // empty results.
  delete context_;
  context_ = nullptr;
}

template <typename R, typename Work>
R QtFrontEnd::OnWindowThread(Work work) {
  if (std::this_thread::get_id() == windowThread_) {
    if (window_ == nullptr) return R{};
    if constexpr (std::is_void_v<R>) {
      work(*window_);
      return;
    } else {
      return work(*window_);
    }
  }
  auto promise = std::make_shared<std::promise<R>>();
  std::future<R> future = promise->get_future();
  {
    std::lock_guard lock(mutex_);
    if (closed_) return R{};
    QMetaObject::invokeMethod(
        context_,
        [this, promise, work]() mutable {
          if (window_ == nullptr) return;  // the promise breaks: an empty result
          if constexpr (std::is_void_v<R>) {
            work(*window_);
            promise->set_value();
          } else {
            promise->set_value(work(*window_));
          }
        },
        Qt::QueuedConnection);
  }
  try {
    return future.get();
  } catch (const std::future_error&) {
    return R{};
  }
}

void QtFrontEnd::DeleteAllRows() {
  OnWindowThread<void>([](MainWindow& w) { w.songList()->setRowCount(0); });
}

int QtFrontEnd::AppendRow() {
  const int row = OnWindowThread<int>([](MainWindow& w) {
    SongTable* table = w.songList();
    const int index = table->rowCount();
    table->insertRow(index);
    for (int column = 0; column < kColumnCount; ++column) {
      table->setItem(index, column, new QTableWidgetItem());
    }
    return index + 1;  // 0 stands for "no window" below
  });
  return row - 1;
}

void QtFrontEnd::SetCellText(int row, int column, const std::string& text) {
  OnWindowThread<void>([row, column, text](MainWindow& w) {
    if (QTableWidgetItem* item = w.songList()->item(row, column)) item->setText(FromGbk(text));
  });
}

std::string QtFrontEnd::GetCellText(int row, int column) {
  return OnWindowThread<std::string>([row, column](MainWindow& w) {
    const QTableWidgetItem* item = w.songList()->item(row, column);
    return item != nullptr ? ToGbk(item->text()) : std::string();
  });
}

int QtFrontEnd::SelectedRow() {
  const int row = OnWindowThread<int>([](MainWindow& w) {
    const QModelIndexList rows = w.songList()->selectionModel()->selectedRows();
    return rows.isEmpty() ? 0 : rows.first().row() + 1;
  });
  return row - 1;
}

std::string QtFrontEnd::SearchText() {
  return OnWindowThread<std::string>([](MainWindow& w) { return ToGbk(w.searchBox()->text()); });
}

void QtFrontEnd::ShowMessage(const std::string& text, MessageIcon icon) {
  OnWindowThread<void>([text, icon](MainWindow& w) {
    const QMessageBox::Icon shown = icon == MessageIcon::kError         ? QMessageBox::Critical
                                    : icon == MessageIcon::kInformation ? QMessageBox::Information
                                                                        : QMessageBox::NoIcon;
    QMessageBox box(shown, kMessageTitle, FromGbk(text), QMessageBox::Ok, &w);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
  });
}

bool QtFrontEnd::AskYesNo(const std::string& text) {
  if (std::this_thread::get_id() == windowThread_) {
    if (window_ == nullptr) return false;
    return QMessageBox::question(window_, kMessageTitle, FromGbk(text)) == QMessageBox::Yes;
  }
  // The window thread shows the box without blocking the main window; this worker waits.
  auto promise = std::make_shared<std::promise<bool>>();
  std::future<bool> answer = promise->get_future();
  {
    std::lock_guard lock(mutex_);
    if (closed_) return false;
    QMetaObject::invokeMethod(
        context_,
        [this, promise, text] {
          if (window_ == nullptr) return;
          auto* box = new QMessageBox(QMessageBox::NoIcon, kMessageTitle, FromGbk(text),
                                      QMessageBox::Yes | QMessageBox::No, window_);
          box->setObjectName(QStringLiteral("WorkerQuestion"));
          box->setWindowModality(Qt::NonModal);
          box->setAttribute(Qt::WA_DeleteOnClose);
          QObject::connect(box, &QMessageBox::finished, box, [box, promise](int) {
            promise->set_value(box->clickedButton() == box->button(QMessageBox::Yes));
          });
          box->show();
        },
        Qt::QueuedConnection);
  }
  try {
    return answer.get();
  } catch (const std::future_error&) {
    return false;
  }
}

void QtFrontEnd::SetClipboardText(const std::string& text) {
  OnWindowThread<void>(
      [text](MainWindow&) { QGuiApplication::clipboard()->setText(FromGbk(text)); });
}

void QtFrontEnd::StartWorker(std::function<void()> work) { std::thread(std::move(work)).detach(); }

std::string QtFrontEnd::SaveFolder() { return store_.Get(); }

void QtFrontEnd::ShowSaveFolder(const std::string& folder) {
  OnWindowThread<void>([folder](MainWindow& w) { w.saveFolderBox()->setText(FromGbk(folder)); });
}

std::optional<std::string> QtFrontEnd::BrowseForFolder(const std::string& title) {
  return OnWindowThread<std::optional<std::string>>(
      [title](MainWindow& w) -> std::optional<std::string> {
        QFileDialog dialog(&w, FromGbk(title), w.saveFolderBox()->text());
        dialog.setObjectName(QStringLiteral("FolderBrowser"));
        dialog.setFileMode(QFileDialog::Directory);
        // Folders only, and Qt's own dialog, whose name field takes a typed path.
        dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
          return std::nullopt;
        }
        const std::string utf8 = dialog.selectedFiles().first().toStdString();
        const std::string gbk = Utf8ToGbk(utf8);
        // A path GBK cannot hold counts as a choice without a file-system path.
        if (GbkToUtf8(gbk) != utf8) return std::nullopt;
        return gbk;
      });
}

}  // namespace ornivel
