#pragma once

#include <QWidget>

#include <cstdint>
#include <vector>

namespace tessaly {

// One register's value over time, drawn as steps: a value holds until the
// next change, and the last one until the latest moment given. The value
// axis spans the smallest and largest value, the time axis the samples.
class RegisterPlot : public QWidget {
  Q_OBJECT

 public:
  struct Point {
    std::int64_t at = 0;  // microseconds, the log's packet time
    double value = 0;
  };

  explicit RegisterPlot(QWidget* parent = nullptr);

  // Points in time order; until is the time the last value is drawn to.
  void SetSeries(QString title, std::vector<Point> points, std::int64_t until);
  const std::vector<Point>& Points() const { return points_; }

  QSize sizeHint() const override { return {400, 160}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString title_;
  std::vector<Point> points_;
  std::int64_t until_ = 0;
};

}  // namespace tessaly
