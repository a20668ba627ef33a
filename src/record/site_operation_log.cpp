#include "record/site_operation_log.h"

#include <mutex>

#include "record/site_recorder.h"

namespace {

// Held while an operation is handed over, so that a front end switching sites never hands one
// to a recorder that is being destroyed.
std::mutex& RecorderLock() {
  static std::mutex lock;
  return lock;
}

CSiteRecorder*& ActiveRecorder() {
  static CSiteRecorder* recorder = nullptr;
  return recorder;
}

}  // namespace

void SetOperationRecorder(CSiteRecorder* recorder) {
  std::lock_guard<std::mutex> lock(RecorderLock());
  ActiveRecorder() = recorder;
}

void RecordSiteOperation(SITE_OPERATION_T operation) {
  std::lock_guard<std::mutex> lock(RecorderLock());
  if (CSiteRecorder* recorder = ActiveRecorder()) recorder->RecordOperation(std::move(operation));
}
