// Standing in for the module: which requests a saved configuration makes, how a reply is
// judged, and when each request goes.
#include "SettingsFiles.h"
#include "core/poll/ModulePolls.h"
#include "core/poll/PollCadence.h"
#include "core/poll/PollResult.h"

#include <QTemporaryDir>
#include <QTest>

using namespace vantor;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(QList<int>)

class TstPoll : public QObject {
  Q_OBJECT

 private slots:
  // What a settings file gives to poll: the active fields, or why there is nothing.
  void requestsOfTheSavedConfiguration_data() {
    QTest::addColumn<QStringList>("entries");  // "Section/Key=Value"
    QTest::addColumn<bool>("twoLine");
    QTest::addColumn<bool>("lineGiven");
    QTest::addColumn<QList<int>>("fields");
    QTest::addColumn<QString>("refusal");
    const QStringList saved{"Cfg2004/CSet=19200,e,8,1", "Settings/AF=3"};
    QTest::newRow("active fields in order") << saved << false << false << QList<int>{1, 2, 3} << "";
    QTest::newRow("two-line: its one field")
        << QStringList{"Cfg1602/CSet=9600,n,8,2"} << true << false << QList<int>{1} << "";
    QTest::newRow("never saved") << QStringList{"Cfg1602/CSet=9600,n,8,1"} << false << true
                                 << QList<int>{} << "has not been saved yet";
    QTest::newRow("no line of its own")
        << QStringList{"Cfg2004/Interval=5"} << false << false << QList<int>{}
        << "gives no usable LCD Baud Rate, LCD Data Format";
    QTest::newRow("no line of its own, but one given")
        << QStringList{"Cfg2004/Interval=5"} << false << true << QList<int>{1} << "";
  }
  void requestsOfTheSavedConfiguration() {
    QFETCH(QStringList, entries);
    QFETCH(bool, twoLine);
    QFETCH(bool, lineGiven);
    QTemporaryDir dir;
    IniFile ini(dir.path());
    for (const QString& entry : entries)
      test::writeKey(ini, entry.section('/', 0, 0), entry.section('/', 1).section('=', 0, 0),
                     entry.section('=', 1));
    const ModulePollsLoad load = loadModulePolls(ini, twoLine, lineGiven);
    QFETCH(QString, refusal);
    QVERIFY2(refusal.isEmpty() ? load.refusal.isEmpty() : load.refusal.contains(refusal),
             qPrintable(load.refusal));
    QCOMPARE(load.polls.has_value(), refusal.isEmpty());
    QList<int> fields;
    for (const PolledField& poll : load.polls ? load.polls->fields : std::vector<PolledField>{})
      fields << poll.field;
    QTEST(fields, "fields");
  }

  // A reply judged as the module judges it, by check value, address, function and byte
  // count, its value read by the field's data type and decimal places.
  void repliesJudgedAsTheModuleJudgesThem_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<int>("function");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QString>("text");
    const auto row = [](const char* name, DataType type, int decimals, int function,
                        const char* reply, PollOutcome outcome, const char* text) {
      QTest::newRow(name) << int(type) << decimals << function << QByteArray::fromHex(reply)
                          << int(outcome) << QString(text);
    };
    using enum DataType;
    using enum PollOutcome;
    row("unsigned", Unsigned, 0, 3, "07030212343D33", Value, "0x1234 = 4660");
    row("signed, one place", Signed, 1, 3, "070302FF833015", Value, "0xFF83 = -12.5");
    row("BCD", Bcd, 1, 3, "07030212343D33", Value, "0x1234 = 123.4");
    row("long integer, high register first", LongInteger, 2, 4, "070404000123451487", Value,
        "0x00012345 = 745.65");
    row("long integer below zero", LongInteger, 0, 4, "070404FFFFFFFE5DD0", Value,
        "0xFFFFFFFE = -2");
    row("long BCD", LongBcd, 0, 4, "070404000123451487", Value, "0x00012345 = 12345");
    row("exception", Unsigned, 0, 3, "07830220F0", Exception,
        "exception 02 (illegal data address)");
    row("exception to another function", Unsigned, 0, 3, "07840222C0", WrongReply,
        "function 84, not 03");
    row("check value", Unsigned, 0, 3, "07030212343D34", CheckValueError,
        "check value 3D 34, expected 3D 33");
    row("another slave's reply", Unsigned, 0, 3, "08030212346932", WrongReply,
        "from slave 8, not 7");
    row("another function", Unsigned, 0, 3, "07040212343C47", WrongReply, "function 04, not 03");
    row("one register of two", LongInteger, 0, 3, "07030212343D33", WrongReply,
        "byte count 2 in 7 bytes, not 4 in 9");
    row("cut short", Unsigned, 0, 3, "0703", WrongReply, "2 bytes, too few for a reply");
  }
  void repliesJudgedAsTheModuleJudgesThem() {
    QFETCH(int, type);
    QFETCH(int, decimals);
    QFETCH(int, function);
    QFETCH(QByteArray, reply);
    DataField field;
    field.slaveAddress = 7;
    field.functionCode = function;
    field.startRegister = 0x20;
    field.dataType = DataType(type);
    field.decimals = decimals;
    const Slave slave = slaveOf(field, 10);
    const PollResult r = judgeReply({2, slave, readRequest(slave)}, reply);
    QTEST(r.text, "text");
    QTEST(int(r.outcome), "outcome");
    QCOMPARE(r.raw.has_value(), r.outcome == PollOutcome::Value);
  }

  // When each request goes, at an interval of 100 ms, a timeout of 50 ms and a frame gap of
  // 2 ms; `responses` in ms, -1 for none. The thread comes back `wakeLate` ms after each time
  // it asked for.
  void requestsGoByTheCadence_data() {
    QTest::addColumn<int>("fields");
    QTest::addColumn<QList<int>>("responses");
    QTest::addColumn<int>("wakeLate");
    QTest::addColumn<QList<int>>("sends");
    QTest::addColumn<QString>("late");  // L for each late poll
    QTest::addColumn<int>("lateCycles");
    using L = QList<int>;
    QTest::newRow("on time") << 2 << L{10, 10, 10, 10} << 0 << L{0, 12, 100, 112} << "...." << 0;
    QTest::newRow("a timeout, then the gap")
        << 2 << L{-1, 10, -1, 10} << 0 << L{0, 52, 100, 152} << "...." << 0;
    QTest::newRow("an overrun starts the next cycle at once")
        << 2 << L{60, 60, 10, 10, 10} << 0 << L{0, 62, 124, 136, 224} << ".L..." << 1;
    QTest::newRow("late from the poll that ran past the interval")
        << 3 << L{-1, 40, 5, 5} << 0 << L{0, 52, 94, 101} << "..L." << 1;
    QTest::newRow("a slow wake-up moves no later cycle")
        << 2 << L{10, 10, 10, 10} << 3 << L{3, 18, 103, 118} << "...." << 0;
    QTest::newRow("one field") << 1 << L{10, -1, 10} << 0 << L{0, 100, 200} << "..." << 0;
  }
  void requestsGoByTheCadence() {
    QFETCH(int, fields);
    QFETCH(QList<int>, responses);
    QFETCH(int, wakeLate);
    constexpr qint64 ms = 1'000'000;
    PollCadence cadence(fields, {100ms, 50ms, 2ms});
    cadence.begin(0);
    QList<int> sends;
    QString late;
    for (const int response : responses) {
      const qint64 at = cadence.nextAt() + wakeLate * ms;
      sends << int(at / ms);
      cadence.sent(at);
      late += cadence.ended(response < 0 ? cadence.timeoutAt() : at + response * ms) ? 'L' : '.';
    }
    QTEST(sends, "sends");
    QTEST(late, "late");
    QTEST(int(cadence.lateCycles()), "lateCycles");
  }
};

QTEST_GUILESS_MAIN(TstPoll)
#include "tst_poll.moc"
