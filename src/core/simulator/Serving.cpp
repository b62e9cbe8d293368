#include "core/simulator/Serving.h"

#include "core/Logging.h"

#include "core/simulator/TypedValue.h"

#include <QRandomGenerator>

#include <algorithm>

namespace vantor {

void ServingState::use(std::shared_ptr<const ServePlan> plan) {
  if (!plan) return;
  for (std::size_t i = 0; i < sweeps_.size(); ++i) {
    const auto& wanted = plan->sweeps[i];
    if (!wanted || !sweeps_[i] || !wanted->sameAs(*sweeps_[i])) sweeps_[i] = wanted;
    if (plan->faults[i] != plan_->faults[i]) polls_[i] = 0;
  }
  plan_ = std::move(plan);
}

Decision ServingState::judge(QByteArrayView request) {
  const ServePlan& plan = *plan_;
  ChosenValues values = plan.values;
  for (std::size_t i = 0; i < sweeps_.size(); ++i) {
    if (!sweeps_[i]) continue;
    const Slave& s = plan.table[i];
    const auto raw = rawOf(sweeps_[i]->value(), {s.dataType, s.decimals});
    values[i] = valueListsOf(raw.value_or(0));
  }

  Decision d;
  d.response = respond(request, plan.table, values, plan.answerAll ? &plan.registerMap : nullptr);
  if (d.response.verdict != Verdict::Answered) {
    // Faults, delays and sweeps are the slaves' own: a poll answered for none has none.
    qCDebug(lcSimulator) << statusText(d.response.verdict) << "-" << reasonText(d.response)
                         << d.response.note;
    return d;
  }
  const std::size_t i = std::size_t(d.response.slave - 1);
  d.value = rawOfLists(values[i], plan.table[i].registerCount);

  const Fault& fault = plan.faults[i];
  if (fault.active() && ++polls_[i] % std::max(fault.oneIn, 1) == 0) {
    applyFault(d.response, fault);
    d.delayMs =
        fault.delayMaxMs > fault.delayMinMs
            ? int(QRandomGenerator::global()->bounded(fault.delayMinMs, fault.delayMaxMs + 1))
            : fault.delayMaxMs;
  }
  // A sweep moves on with every reply its slave sends.
  if (sweeps_[i] && !d.response.reply.isEmpty()) sweeps_[i]->advance();
  qCDebug(lcSimulator) << "slave" << d.response.slave << "answers" << Qt::hex << d.value.value_or(0)
                       << Qt::dec << d.response.note << "delay" << d.delayMs << "ms";
  return d;
}

}  // namespace vantor
