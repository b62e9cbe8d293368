#pragma once

// Cuts what a line carried into frames and the bytes between them, by the times the bytes
// were read and by what a frame looks like. The timing rules are the same whoever listens; what
// counts as a frame is the rule a cutter is given.
//
// On an RTU line a frame ends where the line falls silent for the frame gap (Modbus over
// serial line, 2.5.1.1). The cut is made on the times the bytes were read, taken by the thread
// that reads them, never on when a timer fires. The reading thread can be late, and then it
// reads at once what arrived apart, or reads the end of a frame after the gap; an adapter that
// hands bytes over in packets splits a frame across reads. The frames' check values settle
// those cases:
// - a frame is taken as soon as its last byte is in, wherever it starts among what waits;
//   what came before it is no frame;
// - bytes read after the gap still join what waits, so that a late sender or a late reader
//   can complete a frame begun before it; the gap only says where bytes that are no frame
//   are split;
// - what is no frame, and can no longer become one, waits the hold (a while longer than the
//   gap) before it is given up, unless a frame after it gives it up first;
// - at most kMaxWaiting bytes wait: beyond that, the bytes that can no longer start a frame are
//   given up at once, never those at the end that may still start one.
// Some frames carry a check that shifted bytes pass too often (an 8-bit sum). Such a frame is
// only taken once no overlapping one may still end later: among those, the likeliest, then the
// one that ends last, is taken. Noise before a frame then cannot swallow the frame's start.

#include <QByteArray>
#include <QByteArrayView>

#include <chrono>
#include <functional>
#include <optional>
#include <vector>

namespace vantor {

// What the bytes from an offset on can be, as far as they go.
struct FrameFit {
  enum class Kind {
    None,    // no frame starts here, whatever bytes follow
    Prefix,  // the start of a frame that more bytes may complete
    Frame,   // a whole frame whose check value holds
    Likely,  // a whole frame whose weak check holds: shifted bytes may pass it too
  };
  Kind kind = Kind::None;
  qsizetype length = 0;  // Frame and Likely: how many bytes
  int likelihood = 0;    // Likely: overlapping ones with more are preferred
};

// What the bytes of `bytes` from `offset` on are. It looks at nothing before `offset`.
using FrameRule = std::function<FrameFit(QByteArrayView bytes, qsizetype offset)>;

struct CutPart {
  QByteArray bytes;
  bool frame = false;  // a frame the rule found; otherwise bytes that are none
  friend bool operator==(const CutPart&, const CutPart&) = default;
};

class FrameCutter {
 public:
  // How long bytes that are no frame wait for the rest of one, at least.
  static constexpr std::chrono::milliseconds kHold{100};
  // The most bytes that wait; more than the longest frame there is.
  static constexpr qsizetype kMaxWaiting = 512;

  FrameCutter(FrameRule rule, std::chrono::nanoseconds gap,
              std::chrono::nanoseconds hold = std::chrono::nanoseconds(kHold));

  // `bytes` were read at `atNs` (a monotonic clock): the parts that are complete now.
  std::vector<CutPart> read(QByteArrayView bytes, qint64 atNs);
  // Nothing more was read up to `nowNs`: what waits is given up once held long enough.
  std::vector<CutPart> idle(qint64 nowNs);
  // When idle() has something to complete; nothing while no byte waits.
  std::optional<qint64> deadline() const;
  // Whatever waits, cut now as if held long enough: the reader waits no longer (a master whose
  // reply timed out).
  std::vector<CutPart> flush();
  // Drops what waits (the line was closed).
  void clear();

 private:
  void cut(std::vector<CutPart>& out, bool closed);
  // Gives up waiting bytes [0, end) as no frame, split where the line fell silent.
  void giveUp(std::vector<CutPart>& out, qsizetype end);
  void take(std::vector<CutPart>& out, qsizetype start, qsizetype length);
  // Passes over `count` bytes at the front of what waits.
  void drop(qsizetype count);
  // What waits, from the first byte not yet passed over; the positions below count from it.
  QByteArrayView waitingView() const { return QByteArrayView(waiting_).sliced(head_); }

  FrameRule rule_;
  qint64 gapNs_;
  qint64 holdNs_;
  QByteArray waiting_;
  qsizetype head_ = 0;               // bytes of waiting_ passed over, during a cut
  std::vector<qsizetype> silences_;  // where in waiting_ the line fell silent, ascending
  qsizetype scanFrom_ = 0;           // no frame starts in waiting_ before this
  qint64 lastReadNs_ = 0;
};

}  // namespace vantor
