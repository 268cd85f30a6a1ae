#include "captcha.h"

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <array>
#include <random>
#include <vector>

#include "png.h"

namespace standin {
namespace {

// Each digit is a few polylines on a 6 x 10 grid. Stroked by hand so the
// picture needs no font and no running application object.
using Stroke = std::vector<QPointF>;
using Glyph = std::vector<Stroke>;

const std::array<Glyph, 10>& Glyphs() {
  static const std::array<Glyph, 10> glyphs = {{
      {{{1, 0}, {5, 0}, {6, 2}, {6, 8}, {5, 10}, {1, 10}, {0, 8}, {0, 2}, {1, 0}}},
      {{{1, 2}, {3, 0}, {3, 10}}, {{1, 10}, {5, 10}}},
      {{{0, 2}, {1, 0}, {5, 0}, {6, 2}, {6, 4}, {0, 10}, {6, 10}}},
      {{{0, 1}, {1, 0}, {5, 0}, {6, 2}, {6, 3}, {5, 5}, {2, 5}},
       {{5, 5}, {6, 7}, {6, 8}, {5, 10}, {1, 10}, {0, 9}}},
      {{{5, 10}, {5, 0}, {0, 7}, {6, 7}}},
      {{{6, 0}, {0, 0}, {0, 4}, {4, 4}, {6, 6}, {6, 8}, {5, 10}, {1, 10}, {0, 9}}},
      {{{5, 0}, {2, 0}, {0, 3}, {0, 8}, {1, 10}, {5, 10}, {6, 8}, {6, 6}, {5, 4}, {1, 4}, {0, 5}}},
      {{{0, 0}, {6, 0}, {2, 10}}},
      {{{5, 5},
        {6, 4},
        {6, 1},
        {5, 0},
        {1, 0},
        {0, 1},
        {0, 4},
        {1, 5},
        {5, 5},
        {6, 6},
        {6, 9},
        {5, 10},
        {1, 10},
        {0, 9},
        {0, 6},
        {1, 5}}},
      {{{6, 5}, {5, 6}, {1, 6}, {0, 4}, {0, 2}, {1, 0}, {5, 0}, {6, 2}, {6, 7}, {4, 10}, {1, 10}}},
  }};
  return glyphs;
}

}  // namespace

std::string DrawCaptchaPng(const std::string& code, std::uint32_t seed) {
  std::mt19937 rng(seed);
  auto uniform = [&rng](double low, double high) {
    return std::uniform_real_distribution<double>(low, high)(rng);
  };

  QImage image(kCaptchaWidth, kCaptchaHeight, QImage::Format_RGB32);
  image.fill(QColor(238, 242, 246));
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);

  for (int i = 0; i < 40; ++i) {
    painter.setPen(QPen(QColor(150 + rng() % 80, 150 + rng() % 80, 150 + rng() % 80), 1));
    painter.drawPoint(QPointF(uniform(0, kCaptchaWidth), uniform(0, kCaptchaHeight)));
  }
  for (int i = 0; i < 2; ++i) {
    painter.setPen(QPen(QColor(170, 180, 200), 1));
    painter.drawLine(QPointF(0, uniform(4, kCaptchaHeight - 4)),
                     QPointF(kCaptchaWidth, uniform(4, kCaptchaHeight - 4)));
  }

  const double cell = (kCaptchaWidth - 8.0) / std::max<std::size_t>(code.size(), 4);
  for (std::size_t i = 0; i < code.size(); ++i) {
    if (code[i] < '0' || code[i] > '9') continue;
    painter.save();
    painter.translate(6 + cell * i + uniform(-1, 1), 5 + uniform(-1.5, 1.5));
    painter.rotate(uniform(-8, 8));
    painter.scale(1.4, 1.9);
    QPen pen(QColor(20 + rng() % 60, 30 + rng() % 60, 90 + rng() % 80), 1.2);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    painter.setPen(pen);
    for (const Stroke& stroke : Glyphs()[code[i] - '0']) {
      painter.drawPolyline(stroke.data(), static_cast<int>(stroke.size()));
    }
    painter.restore();
  }
  painter.end();

  std::vector<std::uint8_t> rgb;
  rgb.reserve(kCaptchaWidth * kCaptchaHeight * 3);
  for (int y = 0; y < kCaptchaHeight; ++y) {
    for (int x = 0; x < kCaptchaWidth; ++x) {
      const QRgb pixel = image.pixel(x, y);
      rgb.insert(rgb.end(),
                 {static_cast<std::uint8_t>(qRed(pixel)), static_cast<std::uint8_t>(qGreen(pixel)),
                  static_cast<std::uint8_t>(qBlue(pixel))});
    }
  }
  return EncodeRgbPng(kCaptchaWidth, kCaptchaHeight, rgb);
}

}  // namespace standin
