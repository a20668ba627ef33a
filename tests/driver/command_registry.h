#pragma once

// The driver's commands: each checks its arguments and the program's state at once and replies;
// what it changes in the program (a click, a key, closing a window) it hands back as an action
// that runs from the event loop after the reply has gone out, because the action may open a
// modal window whose exec() returns only much later.

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace guidriver {

struct Reply {
  bool ok = true;
  QString text;                  // after "ok " or "error "
  std::function<void()> action;  // runs after the reply is sent
};

inline Reply Ok(const QString& text = QString()) { return {true, text, {}}; }
inline Reply Error(const QString& reason) { return {false, reason, {}}; }
inline Reply Do(std::function<void()> action) { return {true, QString(), std::move(action)}; }

struct Command {
  const char* name;
  int minArgs;
  int maxArgs;
  const char* usage;  // arguments, for the error reply
  std::function<Reply(const QStringList& args)> run;
};

// Each group adds its commands to the table.
void AddWidgetCommands(std::vector<Command>& table);
void AddItemViewCommands(std::vector<Command>& table);
void AddDialogCommands(std::vector<Command>& table);
void AddWindowCommands(std::vector<Command>& table);

// Runs one request (command and arguments) on the UI thread.
Reply RunCommand(const QStringList& words);

}  // namespace guidriver
