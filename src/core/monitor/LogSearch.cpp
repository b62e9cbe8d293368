#include "core/monitor/LogSearch.h"

#include <QRegularExpression>

namespace vantor {

LogQuery::LogQuery(const QString& typed) : text_(typed.trimmed()) {
  static const QRegularExpression hexGroups(
      QStringLiteral(R"(^(?:[0-9A-Fa-f]{2})+(?:\s+(?:[0-9A-Fa-f]{2})+)*$)"));
  if (hexGroups.match(text_).hasMatch())
    bytes_ = QByteArray::fromHex(text_.toLatin1());  // fromHex skips the blanks
}

bool LogQuery::matches(const TrafficEvent& event) const {
  if (text_.isEmpty()) return false;
  if (!bytes_.isEmpty() && event.bytes.contains(bytes_)) return true;
  return describe(event).contains(text_, Qt::CaseInsensitive);
}

bool isErrorEvent(const TrafficEvent& event) {
  switch (event.kind) {
    case EventKind::CrcError:
    case EventKind::Fragment:
    case EventKind::Unanswered:
    case EventKind::Exception:
    case EventKind::PollError:
    case EventKind::PollTimeout:
      return true;
    default:
      return isException(event);
  }
}

}  // namespace vantor
