#include "core/poll/PollCadence.h"

#include <algorithm>

namespace vantor {

PollCadence::PollCadence(int fields, CadenceTiming timing)
    : fields_(std::max(fields, 1)), timing_(timing) {}

void PollCadence::begin(qint64 nowNs) {
  field_ = 0;
  due_ = nextAt_ = nowNs;
  waiting_ = false;
  cycles_ = lateCycles_ = 0;
}

void PollCadence::sent(qint64 atNs) {
  if (field_ == 0) ++cycles_;
  sentAt_ = atNs;
  waiting_ = true;
}

bool PollCadence::ended(qint64 atNs) {
  waiting_ = false;
  const qint64 free = atNs + timing_.gap.count();
  const qint64 nextDue = due_ + timing_.interval.count();
  const bool late = free > nextDue;
  if (++field_ < fields_) {
    nextAt_ = free;
    return late;
  }
  field_ = 0;
  if (late) ++lateCycles_;
  due_ = nextAt_ = std::max(nextDue, free);
  return late;
}

}  // namespace vantor
