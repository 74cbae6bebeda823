#pragma once
// The program's icon in the banner's manner (a dusk sky, the low sun, dunes with a map grid on
// the sand), drawn from one description both as SVG and through Qt's painter, so the installed
// files and the windows' icon cannot drift apart.
#include <QIcon>
#include <QImage>
#include <string>

inline constexpr int kIconSizes[] = {16, 24, 32, 48, 64, 128, 256};

std::string IconSvg();
QImage RenderIcon(int size);
// The icon at every size of kIconSizes, drawn once.
QIcon ProgramIcon();
