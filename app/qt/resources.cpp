#include "app/qt/resources.h"

#include <QtGlobal>

#include <mutex>

// Q_INIT_RESOURCE must stand outside any namespace.
static void InitOrnivelResources() {
  Q_INIT_RESOURCE(ornivel);
}

namespace ornivel {

void EnsureResources() {
  static std::once_flag once;
  std::call_once(once, InitOrnivelResources);
}

}  // namespace ornivel
