#include "core/display/DisplayPreview.h"

#include "core/modbus/HexText.h"
#include "core/simulator/TypedValue.h"

#include <algorithm>
#include <span>

namespace vantor {

namespace {

constexpr QChar kTooWide = u'#';
constexpr QChar kNotBcd = u'?';
constexpr QChar kNoReading = u'-';

TypedFormat formatOf(const DataField& field) {
  return {field.dataType, field.decimals};
}

int cellCount(const DataField& field) {
  return std::max(field.digits, 0);
}

// "3", "14-15", "3, 5-7": the columns of `row` from `first` to `last` that hold text.
QString textColumns(const QString& row, int first, int last) {
  QStringList spans;
  for (int c = first; c <= last; ++c) {
    if (row[c] == u' ') continue;
    int end = c;
    while (end + 1 <= last && row[end + 1] != u' ') ++end;
    spans << (end == c ? QString::number(c) : QStringLiteral("%1-%2").arg(c).arg(end));
    c = end;
  }
  return spans.join(QStringLiteral(", "));
}

// One row's stretch of a field: where it goes in the rows, and what of the field's text.
struct Stretch {
  int row;
  int column;
  int from;  // index into the field's text
  int width;
};

// Field `n` of a preview: the findings its reading gives, then its text drawn over the rows,
// saying what text of theirs it covers.
class FieldDrawer {
 public:
  FieldDrawer(DisplayPreview& preview, int n) : preview_(preview), n_(n) {}

  void say(const QString& what) {
    preview_.findings << QStringLiteral("field %1: %2").arg(n_).arg(what);
  }

  // The text for the field's cells, with the findings the reading gives.
  QString text(const FieldReading& reading, const DataField& field) {
    if (!reading.raw) {
      say(reading.why.isEmpty() ? QStringLiteral("no value")
                                : QStringLiteral("no value: %1").arg(reading.why));
      return QString(cellCount(field), kNoReading);
    }
    const TypedFormat format = formatOf(field);
    const auto integer = typedInteger(*reading.raw, format);
    if (!integer) {
      say(QStringLiteral("0x%1 is not BCD (a digit above 9)")
              .arg(hexDigits(*reading.raw, registerCount(field.dataType) == 2 ? 8 : 4)));
    } else if (const QString typed = typedText(*integer, format); typed.size() > field.digits) {
      say(QStringLiteral("%1 needs %2 cells; the field has %3")
              .arg(typed)
              .arg(typed.size())
              .arg(field.digits));
    }
    return fieldText(*reading.raw, field);
  }

  void draw(const QString& text, const std::vector<Stretch>& stretches, bool dimmed) {
    for (const Stretch& s : stretches) {
      QString& row = preview_.rows[s.row];
      const int last = s.column + s.width - 1;
      if (const QString covered = textColumns(row, s.column, last); !covered.isEmpty())
        say(QStringLiteral("covers text of row %1, column%2 %3")
                .arg(s.row)
                .arg(covered.contains(u'-') || covered.contains(u',') ? "s" : "")
                .arg(covered));
      row.replace(s.column, s.width, text.mid(s.from, s.width));
      preview_.cells.push_back({n_, s.row, s.column, s.width, dimmed});
    }
  }

 private:
  DisplayPreview& preview_;
  int n_;
};

DisplayPreview blankPreview(std::span<const QString> rows, int width) {
  DisplayPreview preview;
  for (const QString& row : rows) preview.rows << shownRow(row, width);
  return preview;
}

}  // namespace

QString fieldText(std::uint32_t raw, const DataField& field) {
  const int cells = cellCount(field);
  const TypedFormat format = formatOf(field);
  const auto integer = typedInteger(raw, format);
  if (!integer) return QString(cells, kNotBcd);
  const QString typed = typedText(*integer, format);
  if (typed.size() > cells) return QString(cells, kTooWide);
  return typed.rightJustified(cells, u' ');
}

QString widestSample(const DataField& field) {
  const TypedFormat format = formatOf(field);
  // Every cell but the decimal point's holds a digit.
  const int digitCells = std::max(1, field.digits - (field.decimals > 0 ? 1 : 0));
  qint64 eights = 0;
  for (int i = 0; i < digitCells && eights <= typedRange(format).second; ++i)
    eights = eights * 10 + 8;
  return typedText(std::min(eights, typedRange(format).second), format);
}

DisplayPreview previewDisplay(const Config1602& cfg, const FieldReading& reading) {
  using namespace frame1602;
  constexpr int kCells = kRowCount * kRowWidth;
  DisplayPreview preview = blankPreview(cfg.rows, kRowWidth);
  const DataField& field = cfg.field;
  FieldDrawer drawer(preview, 1);
  const QString text = drawer.text(reading, field);

  // Cell by cell from the start location, row 0 first; what falls past the last cell is lost.
  const int start = std::max(field.startLocation, 0);
  const int end = std::min(start + cellCount(field), kCells);  // one past the last drawn
  std::vector<Stretch> stretches;
  for (int at = start; at < end;) {
    const int row = at / kRowWidth;
    const int width = std::min(end, (row + 1) * kRowWidth) - at;
    stretches.push_back({row, at % kRowWidth, at - start, width});
    at += width;
  }
  if (stretches.size() > 1) drawer.say(QStringLiteral("crosses from row 0 into row 1"));
  if (const int lost = start + cellCount(field) - std::max(end, start); lost > 0)
    drawer.say(QStringLiteral("runs past the end of the display; %1 of its %2 cells are not shown")
                   .arg(lost)
                   .arg(cellCount(field)));
  drawer.draw(text, stretches, !reading.raw);
  return preview;
}

DisplayPreview previewDisplay(const Config2004& cfg,
                              const std::array<FieldReading, kFieldCount>& readings) {
  using namespace frame2004;
  DisplayPreview preview = blankPreview(cfg.rows, kRowWidth);
  const int active = std::clamp(cfg.activeFields, 0, kFieldCount);
  // Field k+1 on row k, from the column its start location gives; what falls past the row's
  // end is lost.
  for (int k = 0; k < active; ++k) {
    const Field2004& field = cfg.fields[std::size_t(k)];
    const FieldReading& reading = readings[std::size_t(k)];
    FieldDrawer drawer(preview, k + 1);
    const QString text = drawer.text(reading, field);
    const int start = std::max(field.startLocation, 0);
    const int width = std::clamp(kRowWidth - start, 0, cellCount(field));
    if (const int lost = cellCount(field) - width; lost > 0)
      drawer.say(QStringLiteral("runs past the end of row %1; %2 of its %3 cells are not shown")
                     .arg(k)
                     .arg(lost)
                     .arg(cellCount(field)));
    std::vector<Stretch> stretches;
    if (width > 0) stretches.push_back({k, start, 0, width});
    drawer.draw(text, stretches, !reading.raw);
  }
  return preview;
}

QString framedRows(const DisplayPreview& preview) {
  QStringList lines;
  for (const QString& row : preview.rows) lines << u'|' + row + u'|';
  return lines.join(u'\n');
}

}  // namespace vantor
