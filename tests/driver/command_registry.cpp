#include "command_registry.h"

namespace guidriver {

namespace {

const std::vector<Command>& Table() {
  static const std::vector<Command> table = [] {
    std::vector<Command> t;
    AddWindowCommands(t);
    AddWidgetCommands(t);
    AddItemViewCommands(t);
    AddDialogCommands(t);
    return t;
  }();
  return table;
}

}  // namespace

Reply RunCommand(const QStringList& words) {
  if (words.isEmpty() || words.first().isEmpty()) return Error(QStringLiteral("empty command"));
  const QString name = words.first();
  const QStringList args = words.mid(1);
  for (const Command& command : Table()) {
    if (name != QLatin1String(command.name)) continue;
    if (args.size() < command.minArgs || args.size() > command.maxArgs) {
      return Error(QStringLiteral("usage: %1 %2").arg(name, QLatin1String(command.usage)));
    }
    return command.run(args);
  }
  return Error(QStringLiteral("unknown command %1").arg(name));
}

}  // namespace guidriver
