#include "record/site_operation_results.h"

#include "core/batch/address_assign_run.h"
#include "core/batch/batch_reboot_run.h"
#include "core/batch/batch_static_run.h"
#include "core/upgrade/upgrade_rollout.h"

namespace {

SITE_OPERATION_T Operation(ESiteOperation kind, std::string source,
                           std::map<std::string, std::string> parameters) {
  SITE_OPERATION_T operation;
  operation.kind = kind;
  operation.source = std::move(source);
  operation.parameters = std::move(parameters);
  return operation;
}

}  // namespace

SITE_OPERATION_T DeviceOperation(ESiteOperation kind, const std::string& mac, bool ok,
                                 std::string detail, std::string source,
                                 std::map<std::string, std::string> parameters) {
  SITE_OPERATION_T operation = Operation(kind, std::move(source), std::move(parameters));
  operation.results.push_back({mac, ok, std::move(detail)});
  return operation;
}

SITE_OPERATION_T StaticOperation(const std::vector<BatchStaticRow>& rows, std::string source,
                                 std::map<std::string, std::string> parameters) {
  SITE_OPERATION_T operation =
      Operation(ESiteOperation::kStatic, std::move(source), std::move(parameters));
  for (const BatchStaticRow& row : rows) {
    const bool ok = row.status == kBatchSuccess;
    // A row still configuring when the run was stopped has no failure of its own.
    std::string detail = ok ? "" : BatchFailureText(row.failure);
    if (!ok && detail.empty()) detail = "stopped";
    operation.results.push_back({row.device.mac, ok, std::move(detail)});
  }
  return operation;
}

SITE_OPERATION_T UpgradeOperation(const std::vector<RolloutEntry>& entries, std::string source,
                                  std::map<std::string, std::string> parameters) {
  SITE_OPERATION_T operation =
      Operation(ESiteOperation::kUpgrade, std::move(source), std::move(parameters));
  for (const RolloutEntry& e : entries) {
    operation.results.push_back({e.device.mac, e.OnNewVersion(),
                                 std::string(RolloutResultName(e.result)) + " " + e.oldVersion +
                                     " -> " + (e.newVersion.empty() ? "?" : e.newVersion)});
  }
  return operation;
}

SITE_OPERATION_T AssignOperation(const std::vector<AssignOutcome>& outcomes, std::string source,
                                 std::map<std::string, std::string> parameters) {
  SITE_OPERATION_T operation =
      Operation(ESiteOperation::kAssign, std::move(source), std::move(parameters));
  for (const AssignOutcome& o : outcomes) {
    std::string detail = o.planned.ip + "/" + o.planned.mask +
                         (o.planned.gateway.empty() ? "" : " via " + o.planned.gateway);
    if (o.status != AssignStatus::kSuccess) {
      const std::string why = o.status == AssignStatus::kWaiting
                                  ? std::string("not run")
                                  : std::string(AssignFailureText(o.failure));
      detail += ": " + why + (o.detail.empty() ? "" : " (" + o.detail + ")");
    }
    operation.results.push_back(
        {o.planned.device.mac, o.status == AssignStatus::kSuccess, std::move(detail)});
  }
  return operation;
}

SITE_OPERATION_T BatchRebootOperation(const std::vector<BatchRebootRow>& rows, std::string source,
                                      std::map<std::string, std::string> parameters) {
  SITE_OPERATION_T operation =
      Operation(ESiteOperation::kReboot, std::move(source), std::move(parameters));
  for (const BatchRebootRow& row : rows) {
    const bool ok = row.state == BatchRebootRow::State::kRebooted;
    operation.results.push_back({row.device.mac, ok, ok ? "" : BatchRebootStateName(row.state)});
  }
  return operation;
}
