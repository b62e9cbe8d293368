#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include "SettingsFiles.h"
#include "core/settings/IniFile.h"

using vantor::IniFile;
using namespace vantor::test;

namespace {

QStringList entriesOf(const QString& folder) {
  return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

}  // namespace

class TestModINI : public QObject {
  Q_OBJECT

 private slots:
  void absentFileReadsEmptyAndFirstWriteCreatesIt();
  void defaultFolderIsTheProgramFolder();
  void valueRoundTrip_data();
  void valueRoundTrip();
  void handWrittenFile_data();
  void handWrittenFile();
  void writeKeepsRestOfFile_data();
  void writeKeepsRestOfFile();
  void otherInstanceSeesWrite();
  void failedWriteIsReported();
  void failedWriteLeavesOldFileWhole();
  void settingsFolderFor();
};

void TestModINI::absentFileReadsEmptyAndFirstWriteCreatesIt() {
  QTemporaryDir dir;
  IniFile ini(dir.path() + "/a/b");
  QCOMPARE(ini.read("Cfg1602", "DWidth1"), QString());
  QVERIFY(!QFile::exists(ini.filePath()));
  writeKey(ini, "Cfg1602", "DWidth1", "16");
  QCOMPARE(fileBytes(ini.filePath()), QByteArray("[Cfg1602]\nDWidth1=16\n"));
}

void TestModINI::defaultFolderIsTheProgramFolder() {
  // The test program's own folder lies in the build tree, which this run can write.
  QCOMPARE(IniFile().filePath(), QCoreApplication::applicationDirPath() + "/modlcd.ini");
}

void TestModINI::valueRoundTrip_data() {
  QTest::addColumn<QString>("value");
  QTest::addColumn<QString>("expected");
  const auto same = [](const char* name, const QString& value) {
    QTest::newRow(name) << value << value;
  };
  same("empty", "");
  same("leading blanks", "   left");
  same("trailing tab", "tab\t");
  same("only blanks", "   ");
  same("quoted text keeps its quotes", "\"quoted\"");
  same("single quote character", "\"");
  QTest::newRow("line breaks") << "one\r\ntwo\nthree"
                               << "one  two three";
}

// What the program stores comes back as stored; a line break, which the file cannot hold,
// comes back as a blank and leaves the next key alone.
void TestModINI::valueRoundTrip() {
  QFETCH(QString, value);
  QFETCH(QString, expected);
  QTemporaryDir dir;
  IniFile ini(dir.path());
  writeKey(ini, "Cfg2004", "Line0", value);
  writeKey(ini, "Cfg2004", "Line1", "next");
  QCOMPARE(ini.read("Cfg2004", "Line0"), expected);
  QCOMPARE(ini.read("Cfg2004", "Line1"), QStringLiteral("next"));
}

void TestModINI::handWrittenFile_data() {
  QTest::addColumn<QByteArray>("file");
  QTest::addColumn<QString>("section");
  QTest::addColumn<QString>("key");
  QTest::addColumn<QString>("expected");
  const auto row = [](const char* name, const QByteArray& file, const QString& section,
                      const QString& key, const QString& expected) {
    QTest::newRow(name) << file << section << key << expected;
  };
  const QByteArray both = "[Cfg1602]\nSaddr=1\n\n[Cfg2004]\nSaddr=2\nLine0=x\n";
  row("blanks and tabs around key and value", "[S]\n\tKey =\t value \t\n", "S", "Key", "value");
  row("quotes keep inner blanks, outer go", "[S]\nK=  \" a \"  \n", "S", "K", " a ");
  row("text after first equals sign", "[S]\nCmd=a=b=c\n", "S", "Cmd", "a=b=c");
  row("key of the first section", both, "Cfg1602", "Saddr", "1");
  row("key of the second section", both, "Cfg2004", "Saddr", "2");
  row("key of another section only", both, "Cfg1602", "Line0", "");
  row("first of two equal keys wins", "[S]\nK=first\nk=second\n", "S", "K", "first");
  row("comment is not a key", "[S]\n; K=5\n  ;K=6\nK=7\n", "S", "K", "7");
  row("names ignore case, header blanks", "  [ Cfg1602 ]  \nSaddr=3\n", "cfg1602", "SADDR", "3");
  row("CRLF line ends", "[S]\r\nA=1\r\nB=two\r\n", "S", "B", "two");
  row("no line end after last line", "[S]\nA=1", "S", "A", "1");
  row("UTF-8 text", "[S]\nUnit=\302\260C\n", "S", "Unit", QStringLiteral("\u00B0C"));
  row("long value cut to 254", "[S]\nK=" + QByteArray(300, 'z') + "\n", "S", "K",
      QString(254, u'z'));
}

void TestModINI::handWrittenFile() {
  QFETCH(QByteArray, file);
  QFETCH(QString, section);
  QFETCH(QString, key);
  QFETCH(QString, expected);
  QTemporaryDir dir;
  IniFile ini(dir.path());
  QVERIFY(writeFileBytes(ini.filePath(), file));
  QCOMPARE(ini.read(section, key), expected);
}

void TestModINI::writeKeepsRestOfFile_data() {
  QTest::addColumn<QByteArray>("before");
  QTest::addColumn<QString>("section");
  QTest::addColumn<QString>("key");
  QTest::addColumn<QString>("value");
  QTest::addColumn<QByteArray>("after");
  const auto row = [](const char* name, const QByteArray& before, const QString& section,
                      const QString& key, const QString& value, const QByteArray& after) {
    QTest::newRow(name) << before << section << key << value << after;
  };
  const QByteArray busy =
      "; Settings of the display tool\nOrphan=1\n[Cfg1602]\n; wiring\nSaddr=1\n  Baud = 9600  \n"
      "Future=kept\n\n[Unknown]\nSaddr=7\n";
  row("replace in place, names ignore case", busy, "cfg1602", "baud", "19200",
      QByteArray(busy).replace("  Baud = 9600  \n", "baud=19200\n"));
  row("add key after last entry of section", busy, "Cfg1602", "DWidth1", "16",
      QByteArray(busy).replace("Future=kept\n", "Future=kept\nDWidth1=16\n"));
  row("new section after a blank line", busy, "Cfg2004", "Line0", "hi",
      busy + "\n[Cfg2004]\nLine0=hi\n");
  row("new section when file ends without line end", "[A]\nK=1", "B", "K", "2",
      "[A]\nK=1\n\n[B]\nK=2\n");
  row("only the first of two equal keys changes", "[S]\nK=first\nK=second\n", "S", "K", "new",
      "[S]\nK=new\nK=second\n");
  row("same key in another section untouched", "[Cfg1602]\nSaddr=1\n[Cfg2004]\nSaddr=2\n",
      "Cfg2004", "Saddr", "5", "[Cfg1602]\nSaddr=1\n[Cfg2004]\nSaddr=5\n");
  row("CRLF kept on replace", "; c\r\n[S]\r\nK=1\r\n\r\n[T]\r\nX=y\r\n", "S", "K", "2",
      "; c\r\n[S]\r\nK=2\r\n\r\n[T]\r\nX=y\r\n");
  row("byte order mark and UTF-8 kept", "\xEF\xBB\xBF[S]\nUnit=\302\260C\nK=1\n", "S", "K", "2",
      "\xEF\xBB\xBF[S]\nUnit=\302\260C\nK=2\n");
}

void TestModINI::writeKeepsRestOfFile() {
  QFETCH(QByteArray, before);
  QFETCH(QString, section);
  QFETCH(QString, key);
  QFETCH(QString, value);
  QFETCH(QByteArray, after);
  QTemporaryDir dir;
  IniFile ini(dir.path());
  QVERIFY(writeFileBytes(ini.filePath(), before));
  writeKey(ini, section, key, value);
  QCOMPARE(fileBytes(ini.filePath()), after);
  QCOMPARE(ini.read(section, key), value);
}

// Nothing is cached: what one window writes, the next read sees.
void TestModINI::otherInstanceSeesWrite() {
  QTemporaryDir dir;
  IniFile first(dir.path());
  const IniFile second(dir.path());
  writeKey(first, "Cfg1602", "Saddr", "1");
  QCOMPARE(second.read("Cfg1602", "Saddr"), QStringLiteral("1"));
  QVERIFY(writeFileBytes(first.filePath(), "[Cfg1602]\nSaddr=2\n"));
  QCOMPARE(second.read("Cfg1602", "Saddr"), QStringLiteral("2"));
}

void TestModINI::failedWriteIsReported() {
  QTemporaryDir dir;
  IniFile ini(unmakeableFolder(dir.path()));
  QString error;
  QVERIFY(!ini.write("Cfg1602", "Saddr", "1", &error));
  QVERIFY2(error.contains(ini.filePath()), qPrintable(error));
  QVERIFY2(error.contains("Not a directory"), qPrintable(error));
  QVERIFY(!ini.write("Cfg1602", "Saddr", "1"));  // no place for the message is fine too
}

void TestModINI::failedWriteLeavesOldFileWhole() {
  QTemporaryDir dir;
  IniFile ini(dir.path());
  writeKey(ini, "Cfg1602", "Saddr", "1");
  writeKey(ini, "Cfg1602", "Baud", "9600");
  const QByteArray old = fileBytes(ini.filePath());

  bool written = true;
  QString error;
  {
    // The old file fits under the limit; the new one cannot be written in full.
    const FileSizeLimit limit(old.size() + 8);
    QVERIFY(limit.active());
    written = ini.write("Cfg1602", "Line0", QString(200, u'x'), &error);
  }
  QVERIFY(!written);
  QVERIFY2(error.contains(ini.filePath()), qPrintable(error));
  QVERIFY2(error.contains("File too large"), qPrintable(error));
  QCOMPARE(fileBytes(ini.filePath()), old);
  QCOMPARE(entriesOf(dir.path()), QStringList{"modlcd.ini"});
}

void TestModINI::settingsFolderFor() {
  QTemporaryDir scratch;
  const QString fallback = scratch.filePath("config");
  const QString unmakeable = unmakeableFolder(scratch.path());
  QCOMPARE(vantor::settingsFolderFor(scratch.path(), fallback), scratch.path());
  QCOMPARE(vantor::settingsFolderFor(unmakeable, fallback), fallback);
  QCOMPARE(vantor::settingsFolderFor("/proc", fallback), fallback);  // takes no files
  // Finding out must leave nothing behind in the program folder.
  QCOMPARE(entriesOf(scratch.path()), QStringList{"blocker"});
}

QTEST_GUILESS_MAIN(TestModINI)
#include "tst_inifile.moc"
