#pragma once

#include <QWidget>

class QLabel;

namespace vantor {

struct Exchange;

// What the simulator last received and sent, byte by byte, and its check-value verdict.
class ByteDisplays : public QWidget {
  Q_OBJECT

 public:
  explicit ByteDisplays(QWidget* parent);
  void showExchange(const Exchange& exchange);

 private:
  QLabel* received_ = nullptr;
  QLabel* transmitted_ = nullptr;
  QLabel* verdict_ = nullptr;
};

}  // namespace vantor
