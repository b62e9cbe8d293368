#include "core/display/DisplayPreview.h"

#include <QtTest>

using namespace vantor;
using enum vantor::DataType;

Q_DECLARE_METATYPE(vantor::DataField)

namespace {

// A field as the windows set it up; startLocation, digits and decimals in the window's order.
DataField field(DataType type, int start, int digits, int decimals) {
  DataField f;
  f.dataType = type;
  f.startLocation = start;
  f.digits = digits;
  f.decimals = decimals;
  return f;
}

// Where each field's cells fell, "field@row:column+width", a "*" for dimmed ones.
QString cellsOf(const DisplayPreview& preview) {
  QStringList out;
  for (const FieldCells& c : preview.cells)
    out << QStringLiteral("%1@%2:%3+%4%5")
               .arg(c.field)
               .arg(c.row)
               .arg(c.firstColumn)
               .arg(c.width)
               .arg(c.dimmed ? "*" : "");
  return out.join(u' ');
}

}  // namespace

class TstDisplay : public QObject {
  Q_OBJECT

 private slots:
  // The two-line module: its rows as the frame sends them, its field counted from cell 0 of
  // row 0 on into row 1, and what the technician is told.
  void twoLine_data() {
    QTest::addColumn<QString>("row0");
    QTest::addColumn<QString>("row1");
    QTest::addColumn<DataField>("field");
    QTest::addColumn<qint64>("raw");  // -1: no reply
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("cells");
    QTest::addColumn<QStringList>("findings");
    const auto row = [](const char* name, const char* r0, const char* r1, DataField f, qint64 raw,
                        const char* shown, const char* cells, QStringList findings) {
      QTest::newRow(name) << QString::fromUtf8(r0) << QString::fromUtf8(r1) << f << raw
                          << QString(shown) << QString(cells) << findings;
    };
    row("worked example", "Boiler T:      C", "", field(Unsigned, 9, 6, 1), 125,
        "|Boiler T:  12.5C|\n|                |", "1@0:9+6", {});
    row("one cell further covers the unit", "Boiler T:      C", "", field(Unsigned, 10, 6, 1), 125,
        "|Boiler T:   12.5|\n|                |", "1@0:10+6",
        {"field 1: covers text of row 0, column 15"});
    row("negative, rows as sent", "Temp^\u00e90123456789XYZ", "Set^point", field(Signed, 26, 6, 1),
        0xFF83, "|Temp ?0123456789|\n|Set point  -12.5|", "1@1:10+6", {});
    row("small fraction", "", "", field(Unsigned, 0, 4, 2), 5,
        "|0.05            |\n|"
        "                |",
        "1@0:0+4", {});
    row("bcd digit above 9", "", "", field(Bcd, 0, 4, 0), 0x12A4,
        "|????            |\n|                |", "1@0:0+4",
        {"field 1: 0x12A4 is not BCD (a digit above 9)"});
    row("too wide", "", "", field(Unsigned, 0, 4, 0), 65535,
        "|####            |\n|                |", "1@0:0+4",
        {"field 1: 65535 needs 5 cells; the field has 4"});
    row("crosses rows", "", "", field(LongBcd, 14, 5, 0), 0x12345,
        "|              12|\n|345             |", "1@0:14+2 1@1:0+3",
        {"field 1: crosses from row 0 into row 1"});
    row("past the end", "", "Level", field(Unsigned, 30, 5, 0), 12345,
        "|                |\n|Level         12|", "1@1:14+2",
        {"field 1: runs past the end of the display; 3 of its 5 cells are not shown"});
    row("covers text, not blanks", "A^B CD", "", field(Unsigned, 0, 6, 0), 7,
        "|     7          |\n|                |", "1@0:0+6",
        {"field 1: covers text of row 0, columns 0, 2, 4-5"});
    row("no reply", "", "", field(Unsigned, 0, 3, 0), -1, "|---             |\n|                |",
        "1@0:0+3*", {"field 1: no value: no reply: fault silent"});
  }
  void twoLine() {
    QFETCH(QString, row0);
    QFETCH(QString, row1);
    QFETCH(DataField, field);
    QFETCH(qint64, raw);
    Config1602 cfg;
    cfg.rows = {row0, row1};
    cfg.field = field;
    FieldReading reading;
    if (raw < 0)
      reading = {std::nullopt, QStringLiteral("no reply: fault silent")};
    else
      reading.raw = std::uint32_t(raw);
    const DisplayPreview preview = previewDisplay(cfg, reading);
    QTEST(framedRows(preview), "shown");
    QTEST(cellsOf(preview), "cells");
    QTEST(preview.findings, "findings");
  }

  // The four-line module: field k on row k-1 from its start location's column, only the
  // active ones drawn.
  void fourLine_data() {
    QTest::addColumn<int>("active");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("cells");
    QTest::addColumn<QStringList>("findings");
    QTest::newRow("four fields")
        << 4
        << QStringLiteral(
               "|Pump 1 flow     42.0|\n|Pump 2 head:  #### m|\n"
               "|Valve        1234  %|\n|Alarm count:   10485|")
        << QStringLiteral("1@0:15+5 2@1:14+4 3@2:12+5 4@3:13+7")
        << QStringList{"field 2: -12.5 needs 5 cells; the field has 4",
                       "field 3: covers text of row 2, column 12",
                       "field 4: runs past the end of row 3; 2 of its 9 cells are not shown"};
    QTest::newRow("two of four active")
        << 2
        << QStringLiteral(
               "|Pump 1 flow     42.0|\n|Pump 2 head:  #### m|\n"
               "|Valve       X      %|\n|Alarm count:        |")
        << QStringLiteral("1@0:15+5 2@1:14+4")
        << QStringList{"field 2: -12.5 needs 5 cells; the field has 4"};
  }
  void fourLine() {
    QFETCH(int, active);
    Config2004 cfg;
    cfg.activeFields = active;
    cfg.rows = {"Pump 1 flow", "Pump 2 head:^^^^^^^m", "Valve       X      %", "Alarm count:"};
    const DataField fields[] = {field(Unsigned, 15, 5, 1), field(Signed, 14, 4, 1),
                                field(LongBcd, 12, 5, 0), field(LongInteger, 13, 9, 0)};
    for (int k = 0; k < kFieldCount; ++k) static_cast<DataField&>(cfg.fields[k]) = fields[k];
    const std::array<FieldReading, kFieldCount> readings{
        FieldReading{420, {}}, FieldReading{0xFF83, {}}, FieldReading{0x1234, {}},
        FieldReading{0xFFFFF, {}}};
    const DisplayPreview preview = previewDisplay(cfg, readings);
    QTEST(framedRows(preview), "shown");
    QTEST(cellsOf(preview), "cells");
    QTEST(preview.findings, "findings");
  }

  // Every digit an 8, within what the type carries.
  void widest_data() {
    QTest::addColumn<DataField>("field");
    QTest::addColumn<QString>("sample");
    QTest::newRow("6 digits, 1 place") << field(LongInteger, 0, 6, 1) << "8888.8";
    QTest::newRow("5 digits") << field(LongInteger, 0, 5, 0) << "88888";
    QTest::newRow("long bcd") << field(LongBcd, 0, 6, 2) << "888.88";
    QTest::newRow("unsigned max") << field(Unsigned, 0, 5, 0) << "65535";
    QTest::newRow("signed max") << field(Signed, 0, 6, 1) << "3276.7";
    QTest::newRow("bcd max") << field(Bcd, 0, 5, 0) << "9999";
    QTest::newRow("long integer max") << field(LongInteger, 0, 9, 2) << "10485.75";
  }
  void widest() {
    QFETCH(DataField, field);
    QTEST(widestSample(field), "sample");
  }
};

QTEST_GUILESS_MAIN(TstDisplay)
#include "tst_display.moc"
