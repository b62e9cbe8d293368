#include "core/simulator/Sweep.h"
#include "core/simulator/TypedValue.h"

#include <QtTest>

using namespace vantor;

Q_DECLARE_METATYPE(vantor::TypedFormat)

// The rows read as the types are named.
using enum vantor::DataType;

class TstTyped : public QObject {
  Q_OBJECT

 private slots:
  // What the user types, the raw value the lists must hold, and how the module shows it back.
  void roundTrip_data() {
    QTest::addColumn<TypedFormat>("format");
    QTest::addColumn<QString>("text");
    QTest::addColumn<quint32>("raw");
    QTest::addColumn<QString>("shown");
    const auto row = [](const char* name, DataType t, int d, const char* text, quint32 raw,
                        const char* shown) {
      QTest::newRow(name) << TypedFormat{t, d} << QString(text) << raw << QString(shown);
    };
    row("unsigned max", Unsigned, 0, " +65535 ", 0xFFFF, "65535");
    row("unsigned 2 places", Unsigned, 2, "12.5", 1250, "12.50");
    row("signed min", Signed, 0, "-32768", 0x8000, "-32768");
    row("signed max", Signed, 0, "32767", 0x7FFF, "32767");
    row("signed 1 place", Signed, 1, "-12.5", 0xFF83, "-12.5");
    row("signed small", Signed, 1, "-0.3", 0xFFFD, "-0.3");
    row("whole at 1 place", Signed, 1, "12", 120, "12.0");
    row("a zero past the places", Unsigned, 1, "12.50", 125, "12.5");
    row("bcd", Bcd, 0, "1234", 0x1234, "1234");
    row("bcd max, 3 places", Bcd, 3, "9.999", 0x9999, "9.999");
    row("long bcd max", LongBcd, 0, "99999", 0x99999, "99999");
    row("long bcd 1 place", LongBcd, 1, "1234.5", 0x12345, "1234.5");
    row("long int max", LongInteger, 5, "10.48575", 0xFFFFF, "10.48575");
  }
  void roundTrip() {
    QFETCH(TypedFormat, format);
    QFETCH(QString, text);
    QFETCH(quint32, raw);
    QFETCH(QString, shown);
    const TypedParse parsed = encodeTyped(text, format);
    QCOMPARE(parsed.refusal, QString());
    QCOMPARE(parsed.raw, std::optional<std::uint32_t>(raw));
    QCOMPARE(decodeTyped(raw, format), shown);
    QCOMPARE(rawOf(*typedInteger(raw, format), format), std::optional<std::uint32_t>(raw));
  }

  // Each refusal names what would have been accepted, in the form the user types.
  void refusal_data() {
    QTest::addColumn<TypedFormat>("format");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("refusal");
    const auto row = [](const char* name, DataType t, int d, const char* text, const char* why) {
      QTest::newRow(name) << TypedFormat{t, d} << QString(text) << QString(why);
    };
    row("signed too large", Signed, 1, "3276.8",
        "Give a number from -3276.8 to 3276.7 (Signed Integer, 1 decimal place).");
    row("negative unsigned", Unsigned, 2, "-0",
        "Give a number from 0.00 to 655.35 (Unsigned Integer, 2 decimal places).");
    row("negative long", LongInteger, 0, "-1", "Give a number from 0 to 1048575 (Long Integer).");
    row("bcd too large", Bcd, 0, "10000", "Give a number from 0 to 9999 (BCD).");
    row("too many decimals", Signed, 1, "12.55", "Give a number with at most 1 decimal place.");
    row("fraction, no places", Unsigned, 0, "1.5", "Give a whole number.");
    row("hex", Bcd, 0, "0x10", "Give a number from 0 to 9999 (BCD).");
    row("empty", LongBcd, 0, "  ", "Give a number from 0 to 99999 (Long BCD).");
    row("huge", LongBcd, 0, "9999999999999999999", "Give a number from 0 to 99999 (Long BCD).");
  }
  void refusal() {
    QFETCH(TypedFormat, format);
    QFETCH(QString, text);
    QFETCH(QString, refusal);
    const TypedParse parsed = encodeTyped(text, format);
    QCOMPARE(parsed.raw, std::nullopt);
    QCOMPARE(parsed.refusal, refusal);
  }

  // A sweep as the user gives it, FROM:TO:STEP in the module's form (no step: random values):
  // the values it steps through, or why it is refused.
  void sweeps_data() {
    QTest::addColumn<TypedFormat>("format");
    QTest::addColumn<QString>("sweep");
    QTest::addColumn<QString>("values");  // the first seven, or the refusal
    const auto row = [](const char* name, DataType t, int d, const char* sweep, const char* out) {
      QTest::newRow(name) << TypedFormat{t, d} << QString(sweep) << QString(out);
    };
    row("rising, wraps to the start", Unsigned, 0, "0:10:4", "0 4 8 0 4 8 0");
    row("falling", Signed, 0, "5:-5:-5", "5 0 -5 5 0 -5 5");
    row("a step in tenths", Signed, 1, "0:1:0.3", "0 3 6 9 0 3 6");
    row("not a number", Unsigned, 1, "0:10:nan", "Give a step that leads from 0 to 10.");
    row("infinite", Unsigned, 1, "0:10:inf", "Give a step that leads from 0 to 10.");
    row("an exponent", Unsigned, 0, "0:10:1e300", "Give a step that leads from 0 to 10.");
    row("too many places", Unsigned, 1, "0:10:0.05", "Give a number with at most 1 decimal place.");
    row("wider than the range", Signed, 0, "0:10:70000", "Give a step of at most 65535.");
    row("the wrong way", Unsigned, 0, "0:10:-1", "Give a step that leads from 0 to 10.");
    row("an end out of range", Bcd, 0, "0:10000:1", "Give a number from 0 to 9999 (BCD).");
  }
  void sweeps() {
    QFETCH(TypedFormat, format);
    QFETCH(QString, sweep);
    const QStringList parts = sweep.split(':');
    QString why;
    auto s = typedSweep(parts[0], parts[1], parts[2], format, &why);
    QStringList values;
    for (int i = 0; s && i < 7; ++i, s->advance()) values << QString::number(s->value());
    QTEST(s ? values.join(' ') : why, "values");
  }

  // Random values cover their whole range, both ends included.
  void randomSweepReachesBothEnds() {
    QString why;
    auto sweep = typedSweep("1", "3", {}, {Unsigned, 0}, &why);
    QSet<qint64> seen;
    for (int i = 0; i < 300 && seen.size() < 3; ++i, sweep->advance()) seen << sweep->value();
    QCOMPARE(seen, (QSet<qint64>{1, 2, 3}));
  }

  void invalidBcd() {
    QCOMPARE(decodeTyped(0x12A4, {Bcd, 1}), QString("not BCD (0x12A4)"));
    QCOMPARE(decodeTyped(0xA0000, {LongBcd, 0}), QString("not BCD (0x000A0000)"));
    QCOMPARE(typedInteger(0x000F, {Bcd, 0}), std::nullopt);
  }
};

QTEST_GUILESS_MAIN(TstTyped)
#include "tst_typed.moc"
