// Writes the program's icon (app/icon/Icon.h) as the files an installation ships.
//
//   make-icon OUTFOLDER    writes OUTFOLDER/varevudov.svg and OUTFOLDER/<n>x<n>/varevudov.png
#include <QDir>
#include <QString>
#include <cstdio>
#include <fstream>

#include "app/icon/Icon.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-icon OUTFOLDER\n");
    return 2;
  }
  const QString out = QString::fromLocal8Bit(argv[1]);
  std::ofstream svg((out + "/varevudov.svg").toStdString(), std::ios::binary | std::ios::trunc);
  svg << IconSvg();
  bool ok = static_cast<bool>(svg);
  for (int size : kIconSizes) {
    const QString folder = out + QString("/%1x%1").arg(size);
    ok = QDir().mkpath(folder) && RenderIcon(size).save(folder + "/varevudov.png", "PNG") && ok;
  }
  if (!ok) {
    std::fprintf(stderr, "make-icon: cannot write the icon files\n");
    return 1;
  }
  return 0;
}
