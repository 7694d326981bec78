#include "nimbex/platform/Hooks.h"

#include <cstdio>
#include <utility>

// Function-local statics: other modules' static initialisers may already report through
// these hooks.
namespace {

std::function<void()>& MessagePump() {
  static std::function<void()> pump;
  return pump;
}

UserMessageHook& UserMessages() {
  static UserMessageHook hook;
  return hook;
}

std::function<bool()>& ShiftKeyQuery() {
  static std::function<bool()> query;
  return query;
}

void PrintToStandardError(const std::string& text, const std::string& caption) {
  if (caption.empty())
    std::fprintf(stderr, "%s\n", text.c_str());
  else
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
}

}  // namespace

// Each hook is called through a copy, so a hook that replaces itself while it runs does
// not destroy the function being executed.

void SetMessagePump(std::function<void()> pump) {
  MessagePump() = std::move(pump);
}

void PumpMsgs() {
  std::function<void()> pump = MessagePump();
  if (pump) pump();
}

void SetUserMessageHook(UserMessageHook hook) {
  UserMessages() = std::move(hook);
}

void ShowUserMessage(const std::string& text, const std::string& caption, UserMessageKind kind) {
  UserMessageHook hook = UserMessages();
  if (hook)
    hook(text, caption, kind);
  else
    PrintToStandardError(text, caption);
}

void SetShiftKeyQuery(std::function<bool()> query) {
  ShiftKeyQuery() = std::move(query);
}

bool IsShiftKeyDown() {
  std::function<bool()> query = ShiftKeyQuery();
  return query && query();
}
