#include "app/qt/platform_start.h"

#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

namespace ornivel {
namespace {

struct HeldMessage {
  QtMsgType type;
  std::string file, function, category;
  int line;
  QString text;
};

std::mutex g_mutex;
QtMessageHandler g_previous = nullptr;
std::vector<HeldMessage> g_held;

// The line that says why the window could not be made.
std::string NoDisplayLine() {
  const char* display = std::getenv("DISPLAY");
  const std::string where = display == nullptr || *display == '\0'
                                ? std::string("DISPLAY 未设置")
                                : "DISPLAY=\"" + std::string(display) + "\"";
  return "ornivel: 载入启动窗口失败：无法连接到显示（" + where + "）\n";
}

void HoldOrFail(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type == QtFatalMsg) {
    // Qt would abort after this; its explanation spans several lines and names plugins. One
    // line of our own, and the exit code of a failed start-up.
    const std::string line = NoDisplayLine();
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
    // -1, as a failed start-up returns. Nothing has been made yet that ExitCleanup would release,
    // and nothing of the half-made application object may run on the way out.
    std::_Exit(255);
  }
  std::lock_guard lock(g_mutex);
  g_held.push_back({type, context.file != nullptr ? context.file : "",
                    context.function != nullptr ? context.function : "",
                    context.category != nullptr ? context.category : "", context.line, text});
}

}  // namespace

PlatformStartGuard::PlatformStartGuard() {
  std::lock_guard lock(g_mutex);
  g_previous = qInstallMessageHandler(HoldOrFail);
}

void PlatformStartGuard::Release() {
  if (!held_) return;
  held_ = false;
  std::vector<HeldMessage> held;
  QtMessageHandler previous;
  {
    std::lock_guard lock(g_mutex);
    qInstallMessageHandler(g_previous);
    previous = g_previous;
    held.swap(g_held);
  }
  for (const HeldMessage& message : held) {
    const QMessageLogContext context(message.file.c_str(), message.line, message.function.c_str(),
                                     message.category.c_str());
    if (previous != nullptr) {
      previous(message.type, context, message.text);
    } else {
      qt_message_output(message.type, context, message.text);
    }
  }
}

}  // namespace ornivel
