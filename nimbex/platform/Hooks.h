// Process-wide hooks through which the library reaches its host program: pumping pending
// window messages during long work, showing a message to the user and asking for the
// state of the Shift key. Everything runs on the host's one user-interface thread.
#pragma once

#include <functional>
#include <string>

// The host installs its event dispatcher (the desktop program processes its Qt events);
// the command line and tests leave it empty.
void SetMessagePump(std::function<void()> pump);
// Dispatches pending window messages through the installed pump; nothing without one.
void PumpMsgs();

enum class UserMessageKind { Information, Warning, Error };
using UserMessageHook =
    std::function<void(const std::string& text, const std::string& caption, UserMessageKind kind)>;
// Replaces the way messages reach the user; an empty hook restores the default, one line
// on standard error.
void SetUserMessageHook(UserMessageHook hook);
void ShowUserMessage(const std::string& text, const std::string& caption, UserMessageKind kind);

// Holding Shift while a stream opens forces its point spacing to be recomputed. The host
// answers with its keyboard state; without a hook the key is never held.
void SetShiftKeyQuery(std::function<bool()> query);
bool IsShiftKeyDown();
