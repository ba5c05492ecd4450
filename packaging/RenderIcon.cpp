// Renders the program's SVG icon as a square PNG of the given size, for the
// desktop's icon theme folders: render_icon ICON.svg SIZE OUT.png
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 4) return 2;
  QSvgRenderer renderer(QString::fromLocal8Bit(argv[1]));
  int size = QString::fromLocal8Bit(argv[2]).toInt();
  if (!renderer.isValid() || size <= 0) return 1;
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  renderer.render(&painter, QRectF(0, 0, size, size));
  painter.end();
  QString out = QString::fromLocal8Bit(argv[3]);
  QDir().mkpath(QFileInfo(out).path());
  return image.save(out, "PNG") ? 0 : 1;
}
