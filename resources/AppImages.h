#pragma once
// The application's pictures, drawn in code so that the program carries them
// without image files: probe pictures, icons, the maker's logo.
#include <QIcon>
#include <QPixmap>

namespace AppImages {
enum Probe { eSingleNoRef, eSingleRef, eDouble, eSpherical, eMach };
QPixmap probePicture(Probe p, const QSize& size = QSize(120, 80));
QPixmap logo(const QSize& size = QSize(300, 120));
QIcon connectIcon();
QIcon dataFileIcon();
QIcon warningIcon();
QIcon appIcon();
// The program's icon: the logo's curve mark on its own square, size x size.
QPixmap iconPicture(int size);
} // namespace AppImages
