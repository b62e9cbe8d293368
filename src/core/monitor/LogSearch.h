#pragma once

// What the bus monitor's search box finds: a run of bytes typed in hexadecimal ("01 03 00 00"),
// or words of what the log says of an event ("unanswered", "slave 7"); and which events "next
// error" stops at.

#include "core/monitor/TrafficEvent.h"

#include <QByteArray>
#include <QString>

namespace vantor {

class LogQuery {
 public:
  LogQuery() = default;
  // Blanks around the text do not count. Text that is nothing but pairs of hexadecimal digits,
  // in groups split by blanks ("01 03 00 00", "0103 0000", "84 0a"), also stands for those
  // bytes.
  explicit LogQuery(const QString& typed);

  bool isEmpty() const { return text_.isEmpty(); }
  const QString& text() const { return text_; }
  // The bytes it stands for; empty for a query that is not hexadecimal.
  const QByteArray& bytes() const { return bytes_; }

  // Whether the event's bytes hold the query's bytes one after the other, or what the log says
  // of it holds the text, case aside.
  bool matches(const TrafficEvent& event) const;

 private:
  QString text_;
  QByteArray bytes_;
};

// Whether "next error" stops at the event: a request with a wrong check value, a fragment, a
// valid poll nobody answered, an exception reply (sent or heard); polling as the module, a
// reply that was wrong or did not come.
bool isErrorEvent(const TrafficEvent& event);

}  // namespace vantor
