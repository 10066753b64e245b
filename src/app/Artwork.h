#pragma once
// The program's own pictures, drawn with QPainter: the logo of the splash
// window and the toolbar icons. Nothing is loaded from files, so the program
// looks the same wherever it is installed.

#include <QIcon>
#include <QPixmap>
#include <QString>

namespace korvane {

// The Korvane logo, square, `size` pixels.
QPixmap KorvaneLogo(int size);

// The toolbar icon of a command, by the menu item's name ("New_File",
// "Run", ...). An unknown name gives a plain generic icon.
QIcon CommandIcon(const QString& command);

}  // namespace korvane
