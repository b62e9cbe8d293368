#include "AppSession.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QKeyEvent>

#include <poll.h>
#include <unistd.h>

namespace vantor::test {

QStringList entries(const QComboBox* list) {
  QStringList texts;
  for (int i = 0; i < list->count(); ++i) texts << list->itemText(i);
  return texts;
}

QString captionOf(const QWidget* control) {
  for (const QLabel* label : control->window()->findChildren<QLabel*>())
    if (label->buddy() == control) return label->text();
  return {};
}

void type(QWidget* box, const QString& text) {
  for (const char32_t c : text.toUcs4()) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString::fromUcs4(&c, 1));
    QApplication::sendEvent(box, &press);
  }
}

void paste(QLineEdit* box, const QString& text) {
  QApplication::clipboard()->setText(text);
  box->paste();
}

QByteArray readOnce(const PtyPair& line, int ms) {
  pollfd p{line.masterFd(), POLLIN, 0};
  if (::poll(&p, 1, ms) <= 0) return {};
  char buf[512];
  const ssize_t n = ::read(line.masterFd(), buf, sizeof buf);
  return n > 0 ? QByteArray(buf, n) : QByteArray();
}

void relayWhileRunning(PtyPair& a, PtyPair& b, QProcess& program, int ms) {
  QElapsedTimer t;
  for (t.start(); program.state() != QProcess::NotRunning && t.elapsed() < ms;) {
    QCoreApplication::processEvents();
    b.write(a.read(0, 1));
    a.write(b.read(0, 1));
  }
  program.waitForFinished(100);
}

std::unique_ptr<SerialPort> holdDevice(const QString& device) {
  auto port = std::make_unique<SerialPort>([device](int) { return device; });
  port->setCommPort(1);
  port->setLineSettings(LineSettings{});
  return port->open() ? std::move(port) : nullptr;
}

void storePoll(IniFile& ini, const QString& section, const QString& suffix, const Poll& poll) {
  const std::pair<const char*, int> keys[] = {{"Saddr", poll.address},
                                              {"RHigh", poll.start >> 8},
                                              {"RLow", poll.start & 0xFF},
                                              {"Fcode", poll.function},
                                              {"DT", poll.type}};
  for (auto [key, value] : keys)
    if (!ini.write(section, QLatin1String(key) + suffix, QString::number(value)))
      qFatal("cannot store %s", key);
}

std::optional<quint32> readValue(ModbusMaster& master, const Poll& poll) {
  const int count = poll.type < 3 ? 1 : 2;
  const auto regs =
      serve([&] { return master.read(poll.function, poll.address, poll.start, count); });
  if (!regs) return std::nullopt;
  return count == 1 ? (*regs)[0] : (quint32((*regs)[0]) << 16) | (*regs)[1];
}

AppSession::AppSession() : ini(folder()) {
  if (!dir_.isValid() || !pty.isValid()) qFatal("no folder or no pseudo-terminal");
}

void AppSession::set(const QString& section, const QString& key, const QString& value) {
  QString error;
  if (!ini.write(section, key, value, &error)) qFatal("%s", qPrintable(error));
}

void AppSession::choosePort(int port, const QString& setting, const QString& module,
                            const QString& device) {
  set(QStringLiteral("Ports"), QString::number(port), device.isEmpty() ? pty.devicePath() : device);
  set(QStringLiteral("Settings"), QStringLiteral("CommPort"), QString::number(port));
  set(QStringLiteral("Settings"), QStringLiteral("Setting"), setting);
  set(QStringLiteral("LCD"), QStringLiteral("Module"), module);
}

MainWindow& AppSession::start() {
  main = std::make_unique<MainWindow>(ini, dialogs);
  main->show();
  return *main;
}

void AppSession::connect() {
  press(QStringLiteral("cmdConnect"));
  if (!main->isConnected()) qFatal("Connect failed: %s", qPrintable(dialogs.texts().join('|')));
}

void AppSession::configureLcd() {
  connect();
  dialogs.boxes.clear();
  press(QStringLiteral("cmdCfgLcd"));
}

void AppSession::showValue(int slave, quint32 value) const {
  for (int e = 0; e < 3; ++e)
    get<QComboBox>(QStringLiteral("cboMReg%1_%2").arg(slave).arg(e))
        ->setCurrentIndex(int((value >> (8 * e)) & (e == 2 ? 0x0F : 0xFF)));
}

QWidget& AppSession::lcdWindow() const {
  if (main && main->config1602Window()) return *main->config1602Window();
  if (main && main->config2004Window()) return *main->config2004Window();
  qFatal("Configure LCD opened no window");
}

SerialPort& AppSession::lcdPort() const {
  return main->config1602Window() ? main->config1602Window()->port()
                                  : main->config2004Window()->port();
}

void AppSession::sendConfig() const {
  for (QPushButton* button : lcdWindow().findChildren<QPushButton*>())
    if (button->text() == QLatin1String("Send Config. Data")) return button->click();
  qFatal("no Send Config. Data");
}

void AppSession::closeLcd(bool save) {
  dialogs.answers = {save};
  lcdWindow().close();
}

void AppSession::breakSettingsFolder() {
  QDir(folder()).removeRecursively();
  if (!writeFileBytes(folder(), "not a folder")) qFatal("cannot block %s", qPrintable(folder()));
}

QString AppSession::lcdOpeningFault(const QString& title) const {
  QWidget& w = lcdWindow();
  if (w.windowTitle() != title) return "caption " + w.windowTitle();
  if (!w.isVisible() || !w.isWindow() || w.parentWidget() || w.windowModality() != Qt::NonModal)
    return "not a visible modeless top-level window";
  if (!main->isVisible() || !main->isEnabled()) return "main window no longer usable";
  if (lcdPort().lineSettings() != LineSettings{}) return "port not at 9600,n,8,1";
  if (!lcdPort().isOpen() || !lcdStatus().contains(pty.devicePath()))
    return "port not open on the pty: " + lcdStatus();
  if (!dialogs.boxes.isEmpty()) return "message shown: " + dialogs.texts().join('|');
  return {};
}

}  // namespace vantor::test
