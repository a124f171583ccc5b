#include "text/message_pump.h"

#include <atomic>

namespace ornivel {
namespace {
std::atomic<MessagePump> g_pump{nullptr};
}  // namespace

void SetMessagePump(MessagePump pump) {
  g_pump.store(pump, std::memory_order_release);
}

bool HasMessagePump() {
  return g_pump.load(std::memory_order_acquire) != nullptr;
}

void ProcessPendingMessages() {
  if (const MessagePump pump = g_pump.load(std::memory_order_acquire)) pump();
}

}  // namespace ornivel
