#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include "SettingsFiles.h"
#include "core/settings/IniFile.h"

#include <future>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace vantor;
using namespace vantor::test;

namespace {

QStringList entriesOf(const QString& folder) {
  return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

}  // namespace

class TstIniFile : public QObject {
  Q_OBJECT

 private slots:
  void valueRoundTrip_data();
  void valueRoundTrip();
  void handWrittenFile_data();
  void handWrittenFile();
  void writeKeepsRestOfFile_data();
  void writeKeepsRestOfFile();
  void aSaveIsOneReplacement();
  void failedRenameIsReported();
  void filesThatAreNoSettingsFile_data();
  void filesThatAreNoSettingsFile();
  void aHeldLockMakesASaveWait();
  void concurrentSavesLoseNothing();
  void settingsFolderFor();
};

void TstIniFile::valueRoundTrip_data() {
  QTest::addColumn<QString>("value");
  QTest::addColumn<QString>("expected");
  const auto same = [](const char* name, const QString& value) {
    QTest::newRow(name) << value << value;
  };
  same("empty", "");
  same("leading blanks", "   left");
  same("trailing tab", "tab\t");
  same("quoted text keeps its quotes", "\"quoted\"");
  QTest::newRow("line breaks") << "one\r\ntwo\nthree"
                               << "one  two three";
}

// What the program stores comes back as stored; a line break, which the file cannot hold,
// comes back as a blank and leaves the next key alone.
void TstIniFile::valueRoundTrip() {
  QFETCH(QString, value);
  QFETCH(QString, expected);
  QTemporaryDir dir;
  IniFile ini(dir.path() + "/a/b");  // folders made on the first save
  const IniEntry entries[] = {{"Cfg2004", "Line0", value}, {"Cfg2004", "Line1", "next"}};
  QVERIFY(ini.save(entries));
  QCOMPARE(ini.read("Cfg2004", "Line0"), expected);
  QCOMPARE(ini.read("Cfg2004", "Line1"), QStringLiteral("next"));
}

void TstIniFile::handWrittenFile_data() {
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
  row("key of the first section", both, "Cfg1602", "Saddr", "1");
  row("key of the second section", both, "Cfg2004", "Saddr", "2");
  row("first of two equal keys wins", "[S]\nK=first\nk=second\n", "S", "K", "first");
  row("comment is not a key", "[S]\n; K=5\n  ;K=6\nK=7\n", "S", "K", "7");
  row("names ignore case, header blanks", "  [ Cfg1602 ]  \nSaddr=3\n", "cfg1602", "SADDR", "3");
  row("CRLF line ends", "[S]\r\nA=1\r\nB=two\r\n", "S", "B", "two");
  row("UTF-8 text", "[S]\nUnit=\302\260C\n", "S", "Unit", QStringLiteral("\u00B0C"));
  row("long value cut to 254", "[S]\nK=" + QByteArray(300, 'z') + "\n", "S", "K",
      QString(254, u'z'));
}

void TstIniFile::handWrittenFile() {
  QFETCH(QByteArray, file);
  QFETCH(QString, section);
  QFETCH(QString, key);
  QFETCH(QString, expected);
  QTemporaryDir dir;
  IniFile ini(dir.path());
  QVERIFY(writeFileBytes(ini.filePath(), file));
  QCOMPARE(ini.read(section, key), expected);
}

void TstIniFile::writeKeepsRestOfFile_data() {
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
  row("bytes that are not UTF-8 kept", "; caf\xE9 \xFF\n[S]\nK=1\n", "S", "K", "2",
      "; caf\xE9 \xFF\n[S]\nK=2\n");
}

void TstIniFile::writeKeepsRestOfFile() {
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

// A save of many keys replaces the file once: when the new file cannot be written whole,
// none of its keys is saved and the old file stays as it was, with no temporary copy left.
void TstIniFile::aSaveIsOneReplacement() {
  QTemporaryDir dir;
  IniFile ini(dir.path());
  writeKey(ini, "Cfg1602", "Saddr", "1");
  const QByteArray old = fileBytes(ini.filePath());
  QVERIFY(writeFileBytes(ini.filePath() + ".tmp-left", "a copy an interrupted save left"));

  std::vector<IniEntry> entries;
  for (int i = 0; i < 12; ++i) entries.push_back({"Cfg1602", QString("K%1").arg(i), "1234"});
  bool saved = true;
  QString error;
  {
    // Room for the old file and a key or two more, not for all twelve.
    const FileSizeLimit limit(old.size() + 16);
    QVERIFY(limit.active());
    saved = ini.save(entries, &error);
  }
  QVERIFY(!saved);
  QVERIFY2(error.contains(ini.filePath()) && error.contains("File too large"), qPrintable(error));
  QCOMPARE(fileBytes(ini.filePath()), old);
  QCOMPARE(entriesOf(dir.path()), (QStringList{"modlcd.ini", "modlcd.ini.lock"}));

  QVERIFY(ini.save(entries));
  QCOMPARE(ini.read("Cfg1602", "K11"), QString("1234"));
}

void TstIniFile::failedRenameIsReported() {
  QTemporaryDir dir;
  const QString target = dir.filePath("full");
  QVERIFY(QDir(dir.path()).mkpath("full/inside"));  // rename cannot replace a full folder
  QString error;
  QVERIFY(!replaceFile(target, "[S]\nK=1\n", &error));
  QVERIFY(!error.isEmpty());
  QCOMPARE(entriesOf(dir.path()), QStringList{"full"});
}

void TstIniFile::filesThatAreNoSettingsFile_data() {
  QTest::addColumn<QString>("kind");
  QTest::addColumn<QString>("says");
  QTest::newRow("named pipe") << "fifo"
                              << "named pipe";
  QTest::newRow("folder") << "folder"
                          << "folder";
  QTest::newRow("device") << "/dev/zero"
                          << "device";
  QTest::newRow("larger than 1 MB") << "large"
                                    << "larger than 1 MB";
  QTest::newRow("UTF-16") << "utf16"
                          << "NUL bytes";
  QTest::newRow("missing, named on the command line") << "missing"
                                                      << "No such file";
}

// Each is refused for reading and saving with a message naming the file and why, and nothing
// is written to it or beside it.
void TstIniFile::filesThatAreNoSettingsFile() {
  QFETCH(QString, kind);
  QFETCH(QString, says);
  QTemporaryDir dir;
  QString path = dir.filePath("modlcd.ini");
  if (kind == "fifo") QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0644), 0);
  if (kind == "folder") QVERIFY(QDir(dir.path()).mkdir("modlcd.ini"));
  if (kind == "large") QVERIFY(writeFileBytes(path, QByteArray(1024 * 1024 + 1, ';')));
  if (kind == "utf16") QVERIFY(writeFileBytes(path, QByteArray("\xFF\xFE[\0S\0]\0", 8)));
  if (kind.startsWith('/')) path = kind;
  IniFile ini = IniFile::forFile(path, kind == "missing");

  const IniSnapshot file = ini.snapshot();
  QVERIFY2(file.error().contains(path) && file.error().contains(says), qPrintable(file.error()));
  QVERIFY(!file.absent());
  if (kind == "missing" || kind.startsWith('/')) return;
  const QStringList before = entriesOf(dir.path());
  QString error;
  QVERIFY(!ini.write("S", "K", "1", &error));
  QVERIFY2(error.contains(path) && error.contains(says), qPrintable(error));
  QCOMPARE(entriesOf(dir.path()), before);
}

// From reading the file to renaming the new one, a save holds the lock beside the file; a
// script holding it keeps the save waiting.
void TstIniFile::aHeldLockMakesASaveWait() {
  QTemporaryDir dir;
  IniFile ini(dir.path());
  const int fd = ::open(QFile::encodeName(ini.lockPath()).constData(), O_RDWR | O_CREAT, 0644);
  QCOMPARE(::flock(fd, LOCK_EX), 0);
  auto save = std::async(std::launch::async, [&] { return ini.write("S", "K", "1"); });
  QCOMPARE(save.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
  QVERIFY(!QFile::exists(ini.filePath()));
  ::close(fd);
  QVERIFY(save.get());
  QCOMPARE(ini.read("S", "K"), QString("1"));
}

// Two processes saving different sections at once, and one reading: no save loses another's
// key, and no read sees a file without them. Bounded in count and in time.
void TstIniFile::concurrentSavesLoseNothing() {
  QTemporaryDir dir;
  IniFile ini(dir.path());
  writeKey(ini, "A", "N", "0");
  writeKey(ini, "B", "N", "0");
  const auto saver = [&](const char* section) {
    const auto stop = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int i = 1;
    for (; i <= 1000 && std::chrono::steady_clock::now() < stop; ++i)
      if (!ini.write(section, "N", QString::number(i))) return -i;
    return i - 1;
  };
  const pid_t child = ::fork();
  if (child == 0) ::_exit(saver("A") > 0 ? 0 : 1);
  auto reads = std::async(std::launch::async, [&] {
    int bad = 0;
    for (int i = 0; i < 2000; ++i) {
      const IniSnapshot file = ini.snapshot();
      if (file.value("A", "N").isEmpty() || file.value("B", "N").isEmpty()) ++bad;
    }
    return bad;
  });
  const int savedB = saver("B");
  int status = 0;
  QCOMPARE(::waitpid(child, &status, 0), child);
  QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  QVERIFY(savedB > 0);
  QCOMPARE(reads.get(), 0);
  QVERIFY(ini.read("A", "N").toInt() > 0);
  QCOMPARE(ini.read("B", "N"), QString::number(savedB));
}

void TstIniFile::settingsFolderFor() {
  QTemporaryDir scratch;
  const QString fallback = scratch.filePath("config");
  const QString unmakeable = unmakeableFolder(scratch.path());
  QCOMPARE(vantor::settingsFolderFor(scratch.path(), fallback), scratch.path());
  QCOMPARE(vantor::settingsFolderFor(unmakeable, fallback), fallback);
  QCOMPARE(vantor::settingsFolderFor("/usr/bin", fallback), fallback);  // installed
  // Finding out must leave nothing behind in the program folder.
  QCOMPARE(entriesOf(scratch.path()), QStringList{"blocker"});
  QCOMPARE(IniFile().filePath(), QCoreApplication::applicationDirPath() + "/modlcd.ini");
}

QTEST_GUILESS_MAIN(TstIniFile)
#include "tst_inifile.moc"
