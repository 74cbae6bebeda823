#include "app/icon/Icon.h"

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QString>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr double kSize = 256;  // the drawing's own units

struct Point {
  double x, y;
};

// A path as moves, lines and cubic curves; closed at the end.
struct Step {
  char op;  // 'M', 'L' or 'C'
  std::vector<Point> points;
};

struct Shape {
  std::vector<Step> steps;
  const char* fill;  // "#rrggbb", or nullptr for the sky gradient
  double fillOpacity;
  const char* stroke;  // nullptr for none
  double strokeWidth;
};

// The tile every shape is clipped to: a rounded square.
constexpr double kTile = 12, kTileSize = 232, kRadius = 44;

// The map grid: lines from a vanishing point beyond the horizon across the near dune, and
// cross lines nearer together towards the horizon.
std::vector<Shape> GridLines() {
  std::vector<Shape> lines;
  for (int i = -4; i <= 4; ++i) {
    const double x = 128 + i * 44;
    lines.push_back({{{'M', {{128 + i * 9.0, 176}}}, {'L', {{x, 250}}}}, nullptr, 0, "#fad678", 3});
  }
  for (double y : {186.0, 200.0, 220.0})
    lines.push_back({{{'M', {{0, y}}}, {'L', {{256, y}}}}, nullptr, 0, "#fad678", 3});
  return lines;
}

std::vector<Shape> Drawing() {
  std::vector<Shape> shapes;
  shapes.push_back({{{'M', {{0, 0}}}, {'L', {{256, 0}}}, {'L', {{256, 256}}}, {'L', {{0, 256}}}},
                    nullptr,
                    1,
                    nullptr,
                    0});  // sky
  shapes.push_back({{{'M', {{150, 128}}},
                     {'C', {{150, 111.4}, {163.4, 98}, {180, 98}}},
                     {'C', {{196.6, 98}, {210, 111.4}, {210, 128}}},
                     {'C', {{210, 144.6}, {196.6, 158}, {180, 158}}},
                     {'C', {{163.4, 158}, {150, 144.6}, {150, 128}}}},
                    "#ffe496",
                    1,
                    nullptr,
                    0});  // the low sun
  shapes.push_back({{{'M', {{0, 150}}},
                     {'C', {{50, 126}, {100, 132}, {150, 148}}},
                     {'C', {{190, 160}, {225, 140}, {256, 146}}},
                     {'L', {{256, 256}}},
                     {'L', {{0, 256}}}},
                    "#c4965c",
                    1,
                    nullptr,
                    0});  // far dune
  shapes.push_back({{{'M', {{0, 184}}},
                     {'C', {{60, 164}, {160, 166}, {256, 178}}},
                     {'L', {{256, 256}}},
                     {'L', {{0, 256}}}},
                    "#8a5a3a",
                    1,
                    nullptr,
                    0});  // near dune
  for (const Shape& line : GridLines()) shapes.push_back(line);
  return shapes;
}

QPainterPath ToPath(const std::vector<Step>& steps, bool close) {
  QPainterPath path;
  for (const Step& s : steps) {
    const auto& p = s.points;
    if (s.op == 'M') path.moveTo(p[0].x, p[0].y);
    if (s.op == 'L') path.lineTo(p[0].x, p[0].y);
    if (s.op == 'C') path.cubicTo(p[0].x, p[0].y, p[1].x, p[1].y, p[2].x, p[2].y);
  }
  if (close) path.closeSubpath();
  return path;
}

std::string ToSvgPath(const std::vector<Step>& steps, bool close) {
  std::ostringstream d;
  for (const Step& s : steps) {
    d << s.op;
    for (const Point& p : s.points) d << ' ' << p.x << ',' << p.y;
    d << ' ';
  }
  if (close) d << 'Z';
  return d.str();
}

}  // namespace

std::string IconSvg() {
  std::ostringstream svg;
  svg << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << kSize << "\" height=\"" << kSize
      << "\" viewBox=\"0 0 " << kSize << ' ' << kSize << "\">\n"
      << "  <defs>\n"
      << "    <linearGradient id=\"sky\" x1=\"0\" y1=\"0\" x2=\"0\" y2=\"160\""
      << " gradientUnits=\"userSpaceOnUse\">\n"
      << "      <stop offset=\"0\" stop-color=\"#161a40\"/>\n"
      << "      <stop offset=\"1\" stop-color=\"#ec8e3e\"/>\n"
      << "    </linearGradient>\n"
      << "    <clipPath id=\"tile\"><rect x=\"" << kTile << "\" y=\"" << kTile << "\" width=\""
      << kTileSize << "\" height=\"" << kTileSize << "\" rx=\"" << kRadius << "\"/></clipPath>\n"
      << "  </defs>\n"
      << "  <g clip-path=\"url(#tile)\">\n";
  for (const Shape& s : Drawing()) {
    const bool filled = s.fillOpacity > 0;
    svg << "    <path d=\"" << ToSvgPath(s.steps, filled) << "\" fill=\""
        << (!filled  ? "none"
            : s.fill ? s.fill
                     : "url(#sky)")
        << '"';
    if (s.stroke)
      svg << " stroke=\"" << s.stroke << "\" stroke-width=\"" << s.strokeWidth
          << "\" stroke-opacity=\"0.55\"";
    svg << "/>\n";
  }
  svg << "  </g>\n"
      << "  <rect x=\"" << kTile << "\" y=\"" << kTile << "\" width=\"" << kTileSize
      << "\" height=\"" << kTileSize << "\" rx=\"" << kRadius
      << "\" fill=\"none\" stroke=\"#1e1410\" stroke-width=\"6\"/>\n"
      << "</svg>\n";
  return svg.str();
}

QImage RenderIcon(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size / kSize, size / kSize);
  QPainterPath tile;
  tile.addRoundedRect(kTile, kTile, kTileSize, kTileSize, kRadius, kRadius);
  painter.setClipPath(tile);
  QLinearGradient sky(0, 0, 0, 160);
  sky.setColorAt(0, QColor("#161a40"));
  sky.setColorAt(1, QColor("#ec8e3e"));
  for (const Shape& s : Drawing()) {
    const bool filled = s.fillOpacity > 0;
    const QPainterPath path = ToPath(s.steps, filled);
    if (filled) painter.fillPath(path, s.fill ? QBrush(QColor(s.fill)) : QBrush(sky));
    if (s.stroke) {
      QColor color(s.stroke);
      color.setAlphaF(0.55f);
      painter.strokePath(path, QPen(color, s.strokeWidth));
    }
  }
  painter.setClipping(false);
  painter.strokePath(tile, QPen(QColor("#1e1410"), 6));
  painter.end();
  return image;
}

QIcon ProgramIcon() {
  static const QIcon icon = [] {
    QIcon drawn;
    for (int size : kIconSizes) drawn.addPixmap(QPixmap::fromImage(RenderIcon(size)));
    return drawn;
  }();
  return icon;
}
