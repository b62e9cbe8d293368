#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include "SettingsFiles.h"
#include "core/io/RegularFile.h"
#include "core/io/ReplaceFile.h"
#include "core/settings/IniFile.h"

#include <functional>
#include <future>

#ifdef Q_OS_WIN
#include <windows.h>

// What needs fork(), users, umask or file-size limits is Linux's alone.
#define POSIX_ONLY() QSKIP("needs POSIX processes, users or file modes")
#else
#define POSIX_ONLY()

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace vantor;
using namespace vantor::test;

namespace {

QStringList entriesOf(const QString& folder) {
  return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

#ifndef Q_OS_WIN
constexpr uid_t kNobody = 65534;

// A child process running `work`, as the ordinary user nobody when `otherUser`.
struct Child {
  pid_t pid = -1;
  int out = -1;  // what it says
};
Child startChild(bool otherUser, const std::function<QString()>& work) {
  int out[2];
  if (::pipe(out) != 0) return {};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(out[0]);
    if (otherUser && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) ::_exit(2);
    const QByteArray said = work().toUtf8();
    [[maybe_unused]] const auto n = ::write(out[1], said.constData(), std::size_t(said.size()));
    ::_exit(0);
  }
  ::close(out[1]);
  return {pid, out[0]};
}

// What the child returned, or "crashed" when it did not end normally.
QString resultOf(const Child& child) {
  QByteArray said;
  char buffer[512];
  for (ssize_t n; (n = ::read(child.out, buffer, sizeof buffer)) > 0;) said.append(buffer, n);
  ::close(child.out);
  int status = 0;
  ::waitpid(child.pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? QString::fromUtf8(said) : "crashed";
}

QString inChild(bool otherUser, const std::function<QString()>& work) {
  return resultOf(startChild(otherUser, work));
}

// A folder everybody may write into, with a settings file in it.
void shareWithEverybody(const QTemporaryDir& dir, IniFile& ini) {
  QVERIFY(QFile::setPermissions(dir.path(), QFileDevice::Permissions(0x7777)));
  writeKey(ini, "A", "N", "0");
  QVERIFY(QFile::setPermissions(ini.filePath(), QFileDevice::Permissions(0x6666)));
}
#endif

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
  void aLinkedFileIsSavedThroughTheLink_data();
  void aLinkedFileIsSavedThroughTheLink();
  void filesThatAreNoSettingsFile_data();
  void filesThatAreNoSettingsFile();
  void readsStopAtTheLimit_data();
  void readsStopAtTheLimit();
  void aHeldLockIsWaitedForAWhile_data();
  void aHeldLockIsWaitedForAWhile();
  void lockFilesOfOthers_data();
  void lockFilesOfOthers();
  void concurrentSavesLoseNothing_data();
  void concurrentSavesLoseNothing();
  void aWaitingSaverIsNotOvertaken();
  void newFilesFollowTheUmask();
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
  POSIX_ONLY();
#ifndef Q_OS_WIN
  QTemporaryDir dir;
  IniFile ini(dir.path());
  writeKey(ini, "Cfg1602", "Saddr", "1");
  const QByteArray old = fileBytes(ini.filePath());
  // A copy a save left a minute ago, when it was killed half-way.
  QFile left(ini.filePath() + ".tmp-left");
  QVERIFY(left.open(QIODevice::WriteOnly) && left.write("an interrupted copy") > 0);
  QVERIFY(left.flush());
  QVERIFY(left.setFileTime(QDateTime::currentDateTime().addSecs(-60),
                           QFileDevice::FileModificationTime));
  left.close();

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
#endif
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

void TstIniFile::aLinkedFileIsSavedThroughTheLink_data() {
  QTest::addColumn<QString>("link");   // what settings/modlcd.ini holds; "@" is the temporary dir
  QTest::addColumn<bool>("existing");  // whether the file it leads to exists before the save
  QTest::newRow("relative link") << "../kept/real.ini" << true;
  QTest::newRow("absolute link") << "@/kept/real.ini" << true;
  QTest::newRow("link to a link") << "../kept/hop.ini" << true;
  QTest::newRow("dangling link") << "../kept/real.ini" << false;
}

// A settings file kept elsewhere and linked in stays linked: the file it leads to takes the new
// contents, with no copy left in either folder, and reads through the link find them. Each
// folder gets a lock file: the link's, and the one every name of the file takes.
void TstIniFile::aLinkedFileIsSavedThroughTheLink() {
  POSIX_ONLY();  // QFile::link() makes shortcuts there, not links
  QFETCH(QString, link);
  QFETCH(bool, existing);
  QTemporaryDir dir;
  QVERIFY(QDir(dir.path()).mkpath("settings") && QDir(dir.path()).mkpath("kept"));
  const QString real = dir.filePath("kept/real.ini");
  if (existing) QVERIFY(writeFileBytes(real, "; kept by hand\n[Cfg1602]\nSaddr=1\n"));
  QVERIFY(QFile::link("real.ini", dir.filePath("kept/hop.ini")));
  IniFile ini(dir.filePath("settings"));
  QVERIFY(QFile::link(link.replace('@', dir.path()), ini.filePath()));

  writeKey(ini, "Cfg1602", "Saddr", "7");
  QVERIFY(QFileInfo(ini.filePath()).isSymLink());
  QCOMPARE(QFileInfo(dir.filePath("kept/hop.ini")).symLinkTarget(), real);
  QCOMPARE(fileBytes(real), existing ? QByteArray("; kept by hand\n[Cfg1602]\nSaddr=7\n")
                                     : QByteArray("[Cfg1602]\nSaddr=7\n"));
  QCOMPARE(ini.read("Cfg1602", "Saddr"), QString("7"));
  QCOMPARE(entriesOf(dir.filePath("settings")), (QStringList{"modlcd.ini", "modlcd.ini.lock"}));
  QCOMPARE(entriesOf(dir.filePath("kept")), (QStringList{"hop.ini", "real.ini", "real.ini.lock"}));
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
#ifdef Q_OS_WIN
  if (kind == "fifo" || kind.startsWith('/')) QSKIP("no named pipes or devices in folders");
#else
  if (kind == "fifo") QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0644), 0);
#endif
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

void TstIniFile::readsStopAtTheLimit_data() {
  QTest::addColumn<QString>("path");  // "@" for a file of `size` bytes in a temporary folder
  QTest::addColumn<int>("size");
  QTest::addColumn<bool>("tooLarge");
  QTest::newRow("exactly the limit") << "@" << 64 << false;
  QTest::newRow("one byte more") << "@" << 65 << true;
#ifndef Q_OS_WIN
  QTest::newRow("a file that says it is empty") << "/proc/self/maps" << 0 << true;
#endif
}

// Whatever the system says of the size, no more than the limit is taken.
void TstIniFile::readsStopAtTheLimit() {
  QFETCH(QString, path);
  QFETCH(int, size);
  QFETCH(bool, tooLarge);
  QTemporaryDir dir;
  if (path == "@") {
    path = dir.filePath("file");
    QVERIFY(writeFileBytes(path, QByteArray(size, 'x')));
  }
  const RegularFileRead read = readRegularFile(path, 64);
  QCOMPARE(read.tooLarge, tooLarge);
  QCOMPARE(read.bytes.size(), tooLarge ? 0 : size);
  QCOMPARE(read.reason.isEmpty(), !tooLarge);
}

void TstIniFile::aHeldLockIsWaitedForAWhile_data() {
  QTest::addColumn<QString>("name");  // of the settings file, in the temporary folder
  QTest::addColumn<QString>("held");  // the lock file a script holds
  QTest::newRow("the file's own lock") << "modlcd.ini"
                                       << "modlcd.ini.lock";
  // settings/modlcd.ini is a link to kept/real.ini.
  QTest::newRow("a link's lock") << "settings/modlcd.ini"
                                 << "settings/modlcd.ini.lock";
  QTest::newRow("the lock of the file a link leads to") << "settings/modlcd.ini"
                                                        << "kept/real.ini.lock";
}

// From reading the file to renaming the new one, a save holds the lock beside the file (and
// beside a link it was given); a script holding either keeps the save and a read waiting,
// and after a while the wait is said, naming that lock, and then given up with nothing lost.
void TstIniFile::aHeldLockIsWaitedForAWhile() {
  QFETCH(QString, name);
  QFETCH(QString, held);
  QTemporaryDir dir;
  QVERIFY(QDir(dir.path()).mkpath("settings") && QDir(dir.path()).mkpath("kept"));
  if (name.startsWith("settings/")) {
    POSIX_ONLY();  // QFile::link() makes shortcuts there, not links
    QVERIFY(QFile::link("../kept/real.ini", dir.filePath(name)));
  }
  IniFile ini = IniFile::forFile(dir.filePath(name));
  held = dir.filePath(held);
  writeKey(ini, "S", "K", "0");
  QList<qint64> reports;
  QStringList named;
  ini.setLockWait(
      {std::chrono::milliseconds(1500), std::chrono::milliseconds(1000), [&](qint64 waited) {
         reports << waited;
         if (waited >= 0) named << ini.lockPath();
         return true;
       }});
#ifdef Q_OS_WIN
  // A script's hold on the lock: the first byte, from a handle of its own.
  HANDLE locked =
      ::CreateFileW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(held).utf16()),
                    GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, 0, nullptr);
  QVERIFY(locked != INVALID_HANDLE_VALUE);
  OVERLAPPED firstByte{};
  QVERIFY(::LockFileEx(locked, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &firstByte));
  const auto letGo = [&] {
    ::UnlockFileEx(locked, 0, 1, 0, &firstByte);
    ::CloseHandle(locked);
  };
#else
  const int fd =
      ::open(QFile::encodeName(held).constData(), O_RDWR | O_CREAT, 0644);  // as flock(1)
  QCOMPARE(::flock(fd, LOCK_EX), 0);
  const auto letGo = [fd] { ::close(fd); };
#endif
  QString error;
  QVERIFY(!ini.write("S", "K", "1", &error));
  QVERIFY2(error.contains(held) && error.contains("another program"), qPrintable(error));
  QVERIFY(reports.size() >= 2 && reports.first() >= 1000 && reports.last() == -1);
  QCOMPARE(named.count(held), named.size());
  QVERIFY(ini.snapshot().error().contains(held));

  auto save = std::async(std::launch::async, [&] { return ini.write("S", "K", "2"); });
  QCOMPARE(save.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
  letGo();
  QVERIFY(save.get());
  QCOMPARE(ini.read("S", "K"), QString("2"));
}

void TstIniFile::lockFilesOfOthers_data() {
  // Of a lock file of root's; 0 a dangling symbolic link, -1 none, in a folder of root's.
  QTest::addColumn<int>("mode");
  QTest::addColumn<QString>("refusal");  // empty: the save goes through
  QTest::newRow("root's, readable") << 0644 << "";
  QTest::newRow("root's, unreadable") << 0600 << "remove modlcd.ini.lock, which belongs to root";
  QTest::newRow("a dangling symbolic link") << 0 << "is a symbolic link";
  QTest::newRow("none, and the folder is root's")
      << -1 << "cannot be created because its folder cannot be written (Permission denied)";
}

// An ordinary user's save locks a lock file it can only read, and refuses one it cannot open
// at all, naming it; a read makes nothing where a dangling link points.
void TstIniFile::lockFilesOfOthers() {
  POSIX_ONLY();
#ifndef Q_OS_WIN
  QFETCH(int, mode);
  QFETCH(QString, refusal);
  if (::geteuid() != 0) QSKIP("needs root, to be another user");
  QTemporaryDir dir;
  IniFile ini(dir.path());
  shareWithEverybody(dir, ini);
  const QString target = dir.filePath("elsewhere");
  if (mode == 0) {
    QFile::remove(ini.lockPath());
    QVERIFY(QFile::link(target, ini.lockPath()));
  } else if (mode < 0) {
    QFile::remove(ini.lockPath());
    QVERIFY(QFile::setPermissions(dir.path(), QFileDevice::Permissions(0x7755)));
  } else {
    QVERIFY(QFile::setPermissions(ini.lockPath(),
                                  QFileDevice::Permissions(mode == 0644 ? 0x6444 : 0x6600)));
  }
  const QByteArray before = fileBytes(ini.filePath());
  QCOMPARE(inChild(true, [&] { return ini.snapshot().value("A", "N"); }), QString("0"));
  const QString said = inChild(true, [&] {
    QString error;
    return ini.write("A", "N", "1", &error) ? QString("saved") : error;
  });
  QVERIFY(!QFile::exists(target));
  if (refusal.isEmpty()) {
    QCOMPARE(said, QString("saved"));
    return;
  }
  QVERIFY2(said.contains(ini.lockPath()) && said.contains(refusal), qPrintable(said));
  QCOMPARE(fileBytes(ini.filePath()), before);
#endif
}

void TstIniFile::concurrentSavesLoseNothing_data() {
  QTest::addColumn<bool>("otherUsers");
  // The names the two savers and the reader give the file, in the temporary folder, where
  // kept/real.ini is the file, settings/modlcd.ini a relative link to it, other/modlcd.ini an
  // absolute link to kept/hop.ini, itself a link to real.ini.
  QTest::addColumn<QStringList>("names");
  QTest::addColumn<bool>("made");  // whether the file exists before the first save
  const QString own = "kept/real.ini";
  QTest::newRow("our own programs") << false << QStringList{own, own} << true;
  QTest::newRow("ordinary users' programs, root's lock file")
      << true << QStringList{own, own} << true;
  QTest::newRow("a link and the file's own name")
      << false << QStringList{"settings/modlcd.ini", own} << true;
  QTest::newRow("two links to a file not made yet")
      << false << QStringList{"settings/modlcd.ini", "other/modlcd.ini"} << false;
}

// Two processes saving keys of their own at once, through whatever names of the file, and one
// reading: no save fails, none loses another's key, and no read misses a key seen before.
void TstIniFile::concurrentSavesLoseNothing() {
  POSIX_ONLY();
#ifndef Q_OS_WIN
  QFETCH(bool, otherUsers);
  QFETCH(QStringList, names);
  QFETCH(bool, made);
  if (otherUsers && ::geteuid() != 0) QSKIP("needs root, to be other users");
  QTemporaryDir dir;
  QVERIFY(QFile::setPermissions(dir.path(), QFileDevice::Permissions(0x7777)));
  for (const char* folder : {"kept", "settings", "other"}) {
    QVERIFY(QDir(dir.path()).mkdir(folder));
    QVERIFY(QFile::setPermissions(dir.filePath(folder), QFileDevice::Permissions(0x7777)));
  }
  QVERIFY(QFile::link("../kept/real.ini", dir.filePath("settings/modlcd.ini")));
  QVERIFY(QFile::link("real.ini", dir.filePath("kept/hop.ini")));
  QVERIFY(QFile::link(dir.filePath("kept/hop.ini"), dir.filePath("other/modlcd.ini")));
  const IniFile reader = IniFile::forFile(dir.filePath(names[0]));
  if (made) {
    IniFile file = IniFile::forFile(dir.filePath(names[1]));
    writeKey(file, "Kept", "K", "1");
    QVERIFY(QFile::setPermissions(file.filePath(), QFileDevice::Permissions(0x6666)));
  }
  constexpr int kSaves = 300;
  const QStringList sections{"A", "B"};
  // Both start before this process reads: a child must not inherit a lock a read holds.
  const auto saver = [&](int which) {
    return startChild(otherUsers, [&, which] {
      IniFile ini = IniFile::forFile(dir.filePath(names[which]));
      int failed = 0;
      QString first;
      for (int i = 1; i <= kSaves; ++i) {
        QString error;
        if (!ini.write(sections[which], QString("K%1").arg(i), "1", &error) && failed++ == 0)
          first = error;
      }
      return failed == 0 ? QString("saved")
                         : QString("%1 failed, first: %2").arg(failed).arg(first);
    });
  };
  const Child childA = saver(0);
  const Child childB = saver(1);
  auto a = std::async(std::launch::async, [&] { return resultOf(childA); });
  auto b = std::async(std::launch::async, [&] { return resultOf(childB); });
  int bad = 0;
  int seen[2] = {0, 0};
  const auto key = [](int i) { return QString("K%1").arg(i); };
  while (a.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) {
    const IniSnapshot file = reader.snapshot();
    if (made && !file.has("Kept", "K")) ++bad;
    for (int s = 0; s < 2; ++s) {
      if (seen[s] > 0 && !file.has(sections[s], key(seen[s]))) ++bad;
      while (file.has(sections[s], key(seen[s] + 1))) ++seen[s];
    }
  }
  const QString saidA = a.get(), saidB = b.get();
  const IniSnapshot file = reader.snapshot();
  int lost = 0;
  for (int i = 1; i <= kSaves; ++i)
    for (const QString& section : sections) lost += file.has(section, key(i)) ? 0 : 1;
  QVERIFY2(saidA == "saved" && saidB == "saved" && lost == 0,
           qPrintable(
               QString("%1; %2; %3 of %4 keys lost").arg(saidA, saidB).arg(lost).arg(2 * kSaves)));
  QCOMPARE(bad, 0);
  QCOMPARE(QFileInfo(dir.filePath("kept/real.ini")).isSymLink(), false);
#endif
}

// A save that finds another program waiting for the lock waits behind it, even when the lock
// is free at that moment: otherwise a program saving again and again could keep the lock from
// a waiter for ever. The waiter is stopped while the lock is free, so that it cannot take it.
void TstIniFile::aWaitingSaverIsNotOvertaken() {
  POSIX_ONLY();
#ifndef Q_OS_WIN
  QTemporaryDir dir;
  IniFile ini(dir.path());
  writeKey(ini, "S", "K", "0");
  const int script = ::open(QFile::encodeName(ini.lockPath()).constData(), O_RDWR);
  QCOMPARE(::flock(script, LOCK_EX), 0);
  int waiting[2];
  QCOMPARE(::pipe(waiting), 0);
  const Child waiter = startChild(false, [&] {
    ::close(script);  // the script's lock is not the child's to hold
    IniFile mine = ini;
    mine.setLockWait({std::chrono::seconds(10), std::chrono::milliseconds(0), [&](qint64 ms) {
                        if (ms >= 0) [[maybe_unused]]
                          const auto n = ::write(waiting[1], "w", 1);
                        return true;
                      }});
    QString error;
    return mine.write("S", "W", "1", &error) ? QString("saved") : error;
  });
  ::close(waiting[1]);
  char said = 0;
  QCOMPARE(::read(waiting[0], &said, 1), ssize_t(1));
  ::close(waiting[0]);
  QCOMPARE(::kill(waiter.pid, SIGSTOP), 0);
  int status = 0;
  QCOMPARE(::waitpid(waiter.pid, &status, WUNTRACED), waiter.pid);
  QVERIFY(WIFSTOPPED(status));
  ::close(script);

  bool waited = false;
  ini.setLockWait({std::chrono::seconds(10), std::chrono::milliseconds(0), [&](qint64 ms) {
                     if (ms >= 0 && !std::exchange(waited, true)) ::kill(waiter.pid, SIGCONT);
                     return true;
                   }});
  QString error;
  const bool saved = ini.write("S", "K", "1", &error);
  ::kill(waiter.pid, SIGCONT);
  QCOMPARE(resultOf(waiter), QString("saved"));
  QVERIFY2(saved, qPrintable(error));
  QVERIFY(waited);
  QCOMPARE(ini.read("S", "W"), QString("1"));
#endif
}

// A new file gets the mode the umask allows; an existing one keeps its own.
void TstIniFile::newFilesFollowTheUmask() {
  POSIX_ONLY();
#ifndef Q_OS_WIN
  QTemporaryDir dir;
  IniFile ini(dir.path());
  const mode_t old = ::umask(027);
  writeKey(ini, "S", "K", "1");
  ::umask(old);
  QCOMPARE(QFileInfo(ini.filePath()).permissions() & 0x7777, QFileDevice::Permissions(0x6640));
  QVERIFY(QFile::setPermissions(ini.filePath(), QFileDevice::Permissions(0x6600)));
  writeKey(ini, "S", "K", "2");
  QCOMPARE(QFileInfo(ini.filePath()).permissions() & 0x7777, QFileDevice::Permissions(0x6600));
#endif
}

void TstIniFile::settingsFolderFor() {
  QTemporaryDir scratch;
  const QString fallback = scratch.filePath("config");
  const QString unmakeable = unmakeableFolder(scratch.path());
  QCOMPARE(vantor::settingsFolderFor(scratch.path(), fallback), scratch.path());
  QCOMPARE(vantor::settingsFolderFor(unmakeable, fallback), fallback);
#ifdef Q_OS_WIN
  const QString installed = QDir::fromNativeSeparators(qEnvironmentVariable("ProgramFiles"));
  QVERIFY(!installed.isEmpty());
  QCOMPARE(vantor::settingsFolderFor(installed + "/Vantor", fallback), fallback);
#else
  QCOMPARE(vantor::settingsFolderFor("/usr/bin", fallback), fallback);  // installed
#endif
  // Finding out must leave nothing behind in the program folder.
  QCOMPARE(entriesOf(scratch.path()), QStringList{"blocker"});
  QCOMPARE(IniFile().filePath(), QCoreApplication::applicationDirPath() + "/modlcd.ini");
}

QTEST_GUILESS_MAIN(TstIniFile)
#include "tst_inifile.moc"
