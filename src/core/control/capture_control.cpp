#include "core/control/capture_control.h"

#include "transport/mac_proto_control.h"

bool OpenCapture(const std::string& interfaceName, bool captureArp, CaptureFailure* failure) {
  MacProtoInitOptions options;
  options.interfaceName = interfaceName;
  options.traffic =
      captureArp ? CaptureTraffic::kDeviceProtocolAndArp : CaptureTraffic::kDeviceProtocol;
  return CMacProtoControl::GetInstance()->Init(options, failure) == 0;
}

std::string AnswerPortProblem() { return CMacProtoControl::GetInstance()->ReplyPortProblem(); }

void StopCapture() { CMacProtoControl::GetInstance()->Stop(); }

CaptureCounters CaptureCountersNow() {
  return CMacProtoControl::GetInstance()->GetCaptureCounters();
}

void SetCaptureFailureHook(std::function<void(const CaptureFailure& failure)> hook) {
  CMacProtoControl::SetNoAdapterPromptHook(std::move(hook));
}
