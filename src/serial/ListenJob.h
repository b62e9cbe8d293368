#pragma once

#include "serial/PortJob.h"

namespace vantor {

// Hears the line and writes nothing at all: what is heard is cut into frames and told apart as
// requests, responses, exception replies and configuration frames (FrameListener).
class ListenJob : public PortJob {
 public:
  void run(JobLine& line) override;
};

}  // namespace vantor
