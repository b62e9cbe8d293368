#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>
#include <csignal>

#include "settings/modINI.h"

using vantor::modINI;

namespace {

QByteArray readBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeBytes(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Lowers the file size limit for as long as it lives. Root is held to it too, which makes it a
// dependable way to have a write fail half way through.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &old_);
    rlimit lowered = old_;
    lowered.rlim_cur = bytes;
    active_ = setrlimit(RLIMIT_FSIZE, &lowered) == 0;
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, oldHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;
  bool active() const { return active_; }

 private:
  rlimit old_{};
  void (*oldHandler_)(int) = nullptr;
  bool active_ = false;
};

}  // namespace

class TestModINI : public QObject {
  Q_OBJECT

 private slots:
  void firstWriteCreatesFile_data();
  void firstWriteCreatesFile();
  void filePathHasOneSeparator_data();
  void filePathHasOneSeparator();
  void defaultFolderIsProgramFolderWhenWritable();
  void namesIgnoreCase_data();
  void namesIgnoreCase();
  void rewriteReplacesLine();
  void valueRoundTrip_data();
  void valueRoundTrip();
  void handWrittenFile_data();
  void handWrittenFile();
  void writeKeepsRestOfFile_data();
  void writeKeepsRestOfFile();
  void otherInstanceSeesWrite();
  void failedWriteIsReported_data();
  void failedWriteIsReported();
  void failedWriteLeavesOldFileWhole();
  void settingsFolderFor_data();
  void settingsFolderFor();

 private:
  QTemporaryDir scratch_;
};

void TestModINI::firstWriteCreatesFile_data() {
  QTest::addColumn<QString>("subfolder");
  QTest::newRow("existing folder") << QString();
  QTest::newRow("missing folders are made") << QStringLiteral("/a/b");
}

void TestModINI::firstWriteCreatesFile() {
  QFETCH(QString, subfolder);
  QTemporaryDir dir;
  modINI ini(dir.path() + subfolder);
  QCOMPARE(ini.ReadINI("Cfg1602", "DWidth1"), QString());
  QVERIFY(!QFile::exists(ini.INIFilePath()));

  QString error;
  QVERIFY2(ini.WriteINI("Cfg1602", "DWidth1", "16", &error), qPrintable(error));
  QCOMPARE(readBytes(ini.INIFilePath()), QByteArray("[Cfg1602]\nDWidth1=16\n"));
  QCOMPARE(ini.ReadINI("Cfg1602", "DWidth1"), QStringLiteral("16"));
}

void TestModINI::filePathHasOneSeparator_data() {
  QTest::addColumn<QString>("folder");
  QTest::addColumn<QString>("expected");
  const auto row = [](const char* name, const QString& folder, const QString& expected) {
    QTest::newRow(name) << folder << expected;
  };
  row("without slash", "/data/lcd", "/data/lcd/modlcd.ini");
  row("with slash", "/data/lcd/", "/data/lcd/modlcd.ini");
  row("file system root", "/", "/modlcd.ini");
}

void TestModINI::filePathHasOneSeparator() {
  QFETCH(QString, folder);
  QFETCH(QString, expected);
  QCOMPARE(modINI(folder).INIFilePath(), expected);
}

void TestModINI::defaultFolderIsProgramFolderWhenWritable() {
  // The test program's own folder lies in the build tree, which this run can write.
  QCOMPARE(modINI().INIFilePath(), QCoreApplication::applicationDirPath() + "/modlcd.ini");
}

void TestModINI::namesIgnoreCase_data() {
  QTest::addColumn<QString>("section");
  QTest::addColumn<QString>("key");
  const auto row = [](const char* name, const QString& section, const QString& key) {
    QTest::newRow(name) << section << key;
  };
  row("as written", "Cfg1602", "DWidth1");
  row("key case differs", "Cfg1602", "Dwidth1");
  row("section case differs", "CFG1602", "DWidth1");
  row("both lower case", "cfg1602", "dwidth1");
}

void TestModINI::namesIgnoreCase() {
  QFETCH(QString, section);
  QFETCH(QString, key);
  QTemporaryDir dir;
  modINI ini(dir.path());
  QVERIFY(ini.WriteINI("Cfg1602", "DWidth1", "16"));
  QCOMPARE(ini.ReadINI(section, key), QStringLiteral("16"));
}

void TestModINI::rewriteReplacesLine() {
  QTemporaryDir dir;
  modINI ini(dir.path());
  QVERIFY(ini.WriteINI("Cfg1602", "DWidth1", "16"));
  QVERIFY(ini.WriteINI("Cfg1602", "Saddr", "1"));
  QVERIFY(ini.WriteINI("Cfg1602", "DWidth1", "20"));
  QCOMPARE(ini.ReadINI("Cfg1602", "Dwidth1"), QStringLiteral("20"));
  const QByteArray text = readBytes(ini.INIFilePath());
  QCOMPARE(text.count("DWidth1="), 1);
  QCOMPARE(text, QByteArray("[Cfg1602]\nDWidth1=20\nSaddr=1\n"));
}

void TestModINI::valueRoundTrip_data() {
  QTest::addColumn<QString>("value");
  QTest::addColumn<QString>("expected");
  const auto row = [](const char* name, const QString& value, const QString& expected) {
    QTest::newRow(name) << value << expected;
  };
  const auto same = [&](const char* name, const QString& value) { row(name, value, value); };
  same("plain", "Hello");
  same("empty", "");
  same("equals signs inside", "a=b=c");
  same("leading blanks", "   left");
  same("trailing blanks", "right   ");
  same("blanks both ends", "  hi  ");
  same("only blanks", "   ");
  same("tab at the end", "tab\t");
  same("quoted text keeps its quotes", "\"quoted\"");
  same("single quote character", "\"");
  same("quote at one end only", "\"open");
  same("quotes inside", "say \"hi\" now");
  same("semicolon", "; not a comment");
  same("non-ASCII", QStringLiteral("Gr\u00FC\u00DFe 25\u00B0C"));
  same("exactly 254 characters", QString(254, u'x'));
  row("300 characters come back as 254", QString(300, u'y'), QString(254, u'y'));
  row("line breaks become blanks", "one\r\ntwo\nthree", "one  two three");
}

void TestModINI::valueRoundTrip() {
  QFETCH(QString, value);
  QFETCH(QString, expected);
  QTemporaryDir dir;
  modINI ini(dir.path());
  QVERIFY(ini.WriteINI("Cfg2004", "Line0", value));
  QVERIFY(ini.WriteINI("Cfg2004", "Line1", "next"));
  QCOMPARE(ini.ReadINI("Cfg2004", "Line0"), expected);
  QCOMPARE(ini.ReadINI("Cfg2004", "Line1"), QStringLiteral("next"));
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
  const QByteArray both = "[Cfg1602]\nSaddr=1\n\n[Cfg2004]\nSaddr=2\n";
  row("blanks around key and value", "[S]\nKey =  value  \n", "S", "Key", "value");
  row("tabs around value", "[S]\n\tKey\t=\tvalue\t\n", "S", "Key", "value");
  row("quoted value keeps inner blanks", "[Cfg2004]\nLine0=\"  hi  \"\n", "Cfg2004", "Line0",
      "  hi  ");
  row("blanks outside quotes go", "[S]\nK=  \" a \"  \n", "S", "K", " a ");
  row("one pair of quotes is removed", "[S]\nK=\"\"x\"\"\n", "S", "K", "\"x\"");
  row("text after first equals sign", "[S]\nCmd=a=b=c\n", "S", "Cmd", "a=b=c");
  row("empty value", "[S]\nK=\n", "S", "K", "");
  row("blank value", "[S]\nK=   \n", "S", "K", "");
  row("Saddr of Cfg1602", both, "Cfg1602", "Saddr", "1");
  row("Saddr of Cfg2004", both, "Cfg2004", "Saddr", "2");
  row("key in another section only", both, "Cfg1602", "Line0", "");
  row("missing section", both, "Cfg4004", "Saddr", "");
  row("lines before first section are ignored", "Saddr=9\n[Cfg1602]\nOther=1\n", "Cfg1602", "Saddr",
      "");
  row("first of two equal keys wins", "[S]\nK=first\nk=second\n", "S", "K", "first");
  row("comment is not a key", "[S]\n; K=5\n  ;K=6\nK=7\n", "S", "K", "7");
  row("header with blanks", "  [ Cfg1602 ]  \nSaddr=3\n", "cfg1602", "saddr", "3");
  row("CRLF line ends", "[S]\r\nA=1\r\nB=two\r\n", "S", "B", "two");
  row("no line end after last line", "[S]\nA=1", "S", "A", "1");
  row("UTF-8 byte order mark", "\xEF\xBB\xBF[S]\nA=1\n", "S", "A", "1");
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
  modINI ini(dir.path());
  QVERIFY(writeBytes(ini.INIFilePath(), file));
  QCOMPARE(ini.ReadINI(section, key), expected);
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
      "; Settings of the display tool\n"
      "Orphan=1\n"
      "[Cfg1602]\n"
      "; wiring\n"
      "Saddr=1\n"
      "  Baud = 9600  \n"
      "Future=kept\n"
      "\n"
      "[Unknown]\n"
      "Saddr=7\n";
  row("replace in place", busy, "cfg1602", "baud", "19200",
      QByteArray(busy).replace("  Baud = 9600  \n", "baud=19200\n"));
  row("add key after last entry of section", busy, "Cfg1602", "DWidth1", "16",
      QByteArray(busy).replace("Future=kept\n", "Future=kept\nDWidth1=16\n"));
  row("add key to last section", busy, "Unknown", "New", "x", busy + "New=x\n");
  row("add key to section holding only a comment", "[A]\n; nothing yet\n\n[B]\nK=1\n", "A", "K",
      "2", "[A]\nK=2\n; nothing yet\n\n[B]\nK=1\n");
  row("new section after a blank line", busy, "Cfg2004", "Line0", "hi",
      busy + "\n[Cfg2004]\nLine0=hi\n");
  row("new section when file ends without line end", "[A]\nK=1", "B", "K", "2",
      "[A]\nK=1\n\n[B]\nK=2\n");
  row("new section when file ends blank", "[A]\nK=1\n\n", "B", "K", "2", "[A]\nK=1\n\n[B]\nK=2\n");
  row("only the first of two equal keys changes", "[S]\nK=first\nK=second\n", "S", "K", "new",
      "[S]\nK=new\nK=second\n");
  row("same key in another section untouched", "[Cfg1602]\nSaddr=1\n[Cfg2004]\nSaddr=2\n",
      "Cfg2004", "Saddr", "5", "[Cfg1602]\nSaddr=1\n[Cfg2004]\nSaddr=5\n");
  row("CRLF kept on replace", "; c\r\n[S]\r\nK=1\r\n\r\n[T]\r\nX=y\r\n", "S", "K", "2",
      "; c\r\n[S]\r\nK=2\r\n\r\n[T]\r\nX=y\r\n");
  row("CRLF used for new lines", "[S]\r\nK=1\r\n", "T", "K", "2",
      "[S]\r\nK=1\r\n\r\n[T]\r\nK=2\r\n");
  row("byte order mark kept", "\xEF\xBB\xBF[S]\nK=1\n", "S", "K", "2", "\xEF\xBB\xBF[S]\nK=2\n");
  row("UTF-8 elsewhere kept", "[S]\nUnit=\302\260C\nK=1\n", "S", "K", "2",
      "[S]\nUnit=\302\260C\nK=2\n");
}

void TestModINI::writeKeepsRestOfFile() {
  QFETCH(QByteArray, before);
  QFETCH(QString, section);
  QFETCH(QString, key);
  QFETCH(QString, value);
  QFETCH(QByteArray, after);
  QTemporaryDir dir;
  modINI ini(dir.path());
  QVERIFY(writeBytes(ini.INIFilePath(), before));
  QString error;
  QVERIFY2(ini.WriteINI(section, key, value, &error), qPrintable(error));
  QCOMPARE(readBytes(ini.INIFilePath()), after);
  QCOMPARE(ini.ReadINI(section, key), value);
}

void TestModINI::otherInstanceSeesWrite() {
  QTemporaryDir dir;
  modINI first(dir.path());
  const modINI second(dir.path());
  QVERIFY(first.WriteINI("Cfg1602", "Saddr", "1"));
  QCOMPARE(second.ReadINI("Cfg1602", "Saddr"), QStringLiteral("1"));
  QVERIFY(writeBytes(first.INIFilePath(), "[Cfg1602]\nSaddr=2\n"));
  QCOMPARE(second.ReadINI("Cfg1602", "Saddr"), QStringLiteral("2"));
}

void TestModINI::failedWriteIsReported_data() {
  QTest::addColumn<QString>("folder");
  QTest::addColumn<QString>("reason");
  const auto row = [](const char* name, const QString& folder, const QString& reason) {
    QTest::newRow(name) << folder << reason;
  };
  row("folder inside a regular file", "/blocker/settings", "Not a directory");
  row("settings file is a folder", "/taken", "directory");
}

void TestModINI::failedWriteIsReported() {
  QFETCH(QString, folder);
  QFETCH(QString, reason);
  QTemporaryDir dir;
  QVERIFY(writeBytes(dir.path() + "/blocker", "not a folder"));
  QVERIFY(QDir().mkpath(dir.path() + "/taken/modlcd.ini/inside"));

  modINI ini(dir.path() + folder);
  QString error;
  QVERIFY(!ini.WriteINI("Cfg1602", "Saddr", "1", &error));
  QVERIFY2(error.contains(ini.INIFilePath()), qPrintable(error));
  QVERIFY2(error.contains(reason), qPrintable(error));
  QVERIFY(!ini.WriteINI("Cfg1602", "Saddr", "1"));  // no place for the message is fine too
  QCOMPARE(ini.ReadINI("Cfg1602", "Saddr"), QString());
  QCOMPARE(readBytes(dir.path() + "/blocker"), QByteArray("not a folder"));
  QVERIFY(QFileInfo::exists(dir.path() + "/taken/modlcd.ini/inside"));
}

void TestModINI::failedWriteLeavesOldFileWhole() {
  QTemporaryDir dir;
  modINI ini(dir.path());
  QVERIFY(ini.WriteINI("Cfg1602", "Saddr", "1"));
  QVERIFY(ini.WriteINI("Cfg1602", "Baud", "9600"));
  const QByteArray old = readBytes(ini.INIFilePath());

  bool written = true;
  bool limited = false;
  QString error;
  {
    // The old file fits under the limit; the new one cannot be written in full.
    const FileSizeLimit limit(old.size() + 8);
    limited = limit.active();
    written = ini.WriteINI("Cfg1602", "Line0", QString(200, u'x'), &error);
  }
  QVERIFY(limited);
  QVERIFY(!written);
  QVERIFY2(error.contains(ini.INIFilePath()), qPrintable(error));
  QVERIFY2(error.contains("File too large"), qPrintable(error));
  QCOMPARE(readBytes(ini.INIFilePath()), old);
  QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
           QStringList{"modlcd.ini"});
  QCOMPARE(ini.ReadINI("Cfg1602", "Baud"), QStringLiteral("9600"));
}

void TestModINI::settingsFolderFor_data() {
  QTest::addColumn<QString>("program");
  QTest::addColumn<bool>("usable");
  QVERIFY(scratch_.isValid());
  QVERIFY(writeBytes(scratch_.filePath("file"), "x"));
  QTest::newRow("writable program folder") << scratch_.path() << true;
  QTest::newRow("folder inside a regular file") << scratch_.filePath("file/sub") << false;
  QTest::newRow("missing folder") << scratch_.filePath("missing") << false;
  QTest::newRow("folder that takes no files") << "/proc" << false;
}

void TestModINI::settingsFolderFor() {
  QFETCH(QString, program);
  QFETCH(bool, usable);
  const QString fallback = scratch_.filePath("config");
  QCOMPARE(vantor::settingsFolderFor(program, fallback), usable ? program : fallback);
  // Finding out must leave nothing behind in the program folder.
  QCOMPARE(QDir(scratch_.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
           QStringList{"file"});
}

QTEST_GUILESS_MAIN(TestModINI)
#include "tst_modINI.moc"
